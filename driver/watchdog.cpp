#include "driver/watchdog.h"

#include "driver/renderer.h"
#include "platform/platform.h"

int KillProcessesByName(const std::string& name, bool onlyOwnChildren) {
    const int64_t self = platform::CurrentProcessId();
    int found = 0;
    for (const platform::ProcessInfo& process : platform::ListProcesses(name)) {
        if (process.name != name || process.id == self) continue;
        if (onlyOwnChildren && process.parentId != self) continue;
        if (platform::TerminateProcessById(process.id)) found = 1;
    }
    return found;
}

void CrashDialogWatchdog(std::atomic<int>& conversionActive) {
    // Short sleeps keep the thread's end prompt once the flag drops; the scan stays at its cycle.
    constexpr int kStepMs = 10;
    int sinceScan = 0;
    while (conversionActive.load()) {
        platform::SleepMilliseconds(kStepMs);
        sinceScan += kStepMs;
        if (sinceScan < kWatchdogCycleMs) continue;
        sinceScan = 0;
        if (KillProcessesByName(kCrashDialogName, false)) KillProcessesByName(kRendererFileName, true);
    }
}
