#pragma once
// How many threads the engine keeps busy: what the converter allows through the environment
// (several documents converted at once share the processors), else one per processor.

namespace engine {

// At least 1.
unsigned WorkerThreads();

}  // namespace engine
