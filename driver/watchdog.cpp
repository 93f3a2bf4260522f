#include "driver/watchdog.h"

#include <algorithm>
#include <unordered_map>

#include "driver/renderer.h"

namespace {

// Deep enough for any real process tree; it also ends a walk that a parent loop (possible in a
// snapshot taken while ids are reused) would make endless.
constexpr int kMostGenerations = 64;

bool DescendsFrom(int64_t id, const std::unordered_map<int64_t, int64_t>& parentOf,
                  const std::vector<int64_t>& ancestors) {
    for (int generation = 0; generation < kMostGenerations; ++generation) {
        const auto parent = parentOf.find(id);
        if (parent == parentOf.end() || parent->second <= 0) return false;
        id = parent->second;
        if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) return true;
    }
    return false;
}

}  // namespace

std::vector<int64_t> CrashDialogVictims(const std::vector<platform::ProcessInfo>& snapshot, int64_t self) {
    std::vector<int64_t> engines;
    std::unordered_map<int64_t, int64_t> parentOf;
    for (const platform::ProcessInfo& process : snapshot) {
        parentOf[process.id] = process.parentId;
        if (process.parentId == self && process.id != self && process.name == kRendererFileName)
            engines.push_back(process.id);
    }
    std::vector<int64_t> victims;
    if (engines.empty()) return victims;
    for (const platform::ProcessInfo& process : snapshot) {
        if (process.name == kCrashDialogName && DescendsFrom(process.id, parentOf, engines))
            victims.push_back(process.id);
    }
    if (!victims.empty()) victims.insert(victims.end(), engines.begin(), engines.end());
    return victims;
}

int EndOwnCrashDialogs() {
    const std::vector<int64_t> victims =
        CrashDialogVictims(platform::ListProcesses(), platform::CurrentProcessId());
    for (const int64_t id : victims) platform::TerminateProcessById(id);
    return victims.empty() ? 0 : 1;
}

void CrashDialogWatchdog(std::atomic<int>& conversionActive) {
    while (conversionActive.load()) {
        // Sleeps out the cycle, but wakes at once when StopWatchdog drops the flag.
        platform::WaitWhileValue(conversionActive, 1, kWatchdogCycleMs);
        if (!conversionActive.load()) break;
        EndOwnCrashDialogs();
    }
}

void StopWatchdog(std::atomic<int>& conversionActive) {
    conversionActive = 0;
    platform::WakeValueWaiters(conversionActive);
}
