#include "driver/batch_plan.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "protocol/engine_protocol.h"

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

// The engine's own reading of its memory variable: a positive whole number of MiB.
uint64_t MebibytesOf(const char* text) {
    if (text == nullptr || *text == '\0') return 0;
    uint64_t value = 0;
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && ptr == end ? value : 0;
}

}  // namespace

BatchPlan PlanBatch(int jobs, size_t documents, unsigned processors, const char* memorySetting,
                    uint64_t physicalBytes) {
    BatchPlan plan;
    plan.processors = std::max(1u, processors);
    const size_t wanted = jobs > 0 ? static_cast<size_t>(jobs) : plan.processors;
    plan.workers = static_cast<unsigned>(std::max<size_t>(1, std::min(wanted, documents)));
    plan.budgetMiB = MebibytesOf(memorySetting);
    plan.budgetGiven = plan.budgetMiB > 0;
    // The engine's own default: half of physical memory.
    if (!plan.budgetGiven) plan.budgetMiB = physicalBytes / 2 / kMiB;
    return plan;
}

DocumentShare ShareFor(const BatchPlan& plan, unsigned running) {
    DocumentShare share;
    running = std::clamp(running, 1u, plan.workers);
    share.threads = std::max(1u, plan.processors / running);
    share.pageWorkers = std::min(kMaxPageWorkers, share.threads);
    share.engineEnvironment.push_back(std::string(protocol::kEngineThreadsVariable) + "=" +
                                      std::to_string(share.threads));
    if (plan.budgetMiB == 0) return share;
    // Every worker's engine gets its part of the one budget; a lone worker keeps the engine's
    // own reading of it (and its warning for a value it cannot use).
    share.memoryMiB = std::max<uint64_t>(1, plan.budgetMiB / plan.workers);
    if (plan.workers > 1) {
        share.engineEnvironment.push_back(std::string(protocol::kEngineMemoryVariable) + "=" +
                                          std::to_string(share.memoryMiB));
    }
    const uint64_t imageMiB = std::max(kImageMemoryFloorMiB, share.memoryMiB);
    share.imageMemoryMiB = static_cast<int32_t>(std::min<uint64_t>(imageMiB, std::numeric_limits<int32_t>::max()));
    return share;
}
