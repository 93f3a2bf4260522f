#include "engine/runtime/worker_threads.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "protocol/engine_protocol.h"

namespace engine {

unsigned WorkerThreads() {
    static const unsigned threads = [] {
        const int allowed = protocol::ThreadsFromVariable(std::getenv(protocol::kEngineThreadsVariable));
        if (allowed > 0) return static_cast<unsigned>(allowed);
        return std::max(1u, std::thread::hardware_concurrency());
    }();
    return threads;
}

}  // namespace engine
