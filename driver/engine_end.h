#pragma once
// How a run of the engine ended, so that a document that lost pages or its output says why: a
// crash, the page time limit, or the memory budget, rather than only what is missing.

#include <string>

struct EngineEnd {
    enum class Cause {
        kOwnEnd,        // it exited by itself (whatever its exit code), or lingered and was ended
        kCrash,         // a signal or an exception ended it
        kTimeLimit,     // it made no progress within the page time limit and was ended
        kMemoryBudget,  // it said that a page failed for want of memory within its budget
    };
    Cause cause = Cause::kOwnEnd;
    std::string crash;  // kCrash: the system's words for it ("signal 11", "exception 0xC0000005")
};

// The document's message about what went missing: "the rendering engine crashed (signal 11) on
// DOCUMENT; CONSEQUENCE" when the end has a cause to name, else "DOCUMENT: CONSEQUENCE".
std::string EngineEndMessage(const EngineEnd& end, const std::string& document, const std::string& consequence);
