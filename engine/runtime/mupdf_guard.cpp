#include "engine/runtime/mupdf_guard.h"

#include "engine/runtime/memory_budget.h"

namespace engine {
namespace guard_detail {

bool Run(fz_context* ctx, const Steps& steps, void* parts, bool passOn) {
    // Only plain data lives in this frame; failed is set after the jump, not before it.
    bool failed = false;
    fz_try(ctx) { steps.body(parts); }
    fz_always(ctx) {
        if (steps.always) steps.always(parts);
    }
    fz_catch(ctx) {
        if (steps.failed) steps.failed(parts);
        if (passOn) fz_rethrow(ctx);
        failed = true;
    }
    return !failed;
}

void Raise(fz_context* ctx, int code, const char* message) { fz_throw(ctx, code, "%s", message); }

}  // namespace guard_detail

std::string CaughtMessage(fz_context* ctx) {
    const MemoryBudget* budget = BudgetOf(ctx);
    if (fz_caught(ctx) == FZ_ERROR_MEMORY && budget && budget->Refusals() > 0) {
        return BudgetReachedMessage(*budget);
    }
    const char* message = fz_caught_message(ctx);
    return (message && *message) ? message : "unknown library error";
}

}  // namespace engine
