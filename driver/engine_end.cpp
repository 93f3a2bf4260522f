#include "driver/engine_end.h"

std::string EngineEndMessage(const EngineEnd& end, const std::string& document, const std::string& consequence) {
    std::string cause;
    switch (end.cause) {
        case EngineEnd::Cause::kCrash:
            cause = "the rendering engine crashed (" + end.crash + ")";
            break;
        case EngineEnd::Cause::kTimeLimit:
            cause = "the rendering engine was ended by the page time limit";
            break;
        case EngineEnd::Cause::kMemoryBudget:
            cause = "the rendering engine ran out of its memory budget";
            break;
        case EngineEnd::Cause::kOwnEnd:
            return document + ": " + consequence;
    }
    return cause + " on " + document + "; " + consequence;
}
