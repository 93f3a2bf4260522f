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
    while (conversionActive.load()) {
        // Sleeps out the cycle, but wakes at once when StopWatchdog drops the flag.
        platform::WaitWhileValue(conversionActive, 1, kWatchdogCycleMs);
        if (!conversionActive.load()) break;
        if (KillProcessesByName(kCrashDialogName, false)) KillProcessesByName(kRendererFileName, true);
    }
}

void StopWatchdog(std::atomic<int>& conversionActive) {
    conversionActive = 0;
    platform::WakeValueWaiters(conversionActive);
}
