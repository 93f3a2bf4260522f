#pragma once
// Ends crash-report dialogs (and then the engine) while the conversion loop runs, so that a
// crashed engine cannot keep the batch waiting.

#include <atomic>
#include <string>

constexpr const char* kCrashDialogName = "WerFault.exe";
constexpr int kWatchdogCycleMs = 100;

// Thread routine: runs until conversionActive drops to 0.
void CrashDialogWatchdog(std::atomic<int>& conversionActive);
// Drops the flag and wakes the watchdog, which then ends without finishing its cycle.
void StopWatchdog(std::atomic<int>& conversionActive);
// Ends every process of that exact name; with onlyOwnChildren, only those this process started.
// Returns 1 when at least one was told to end.
int KillProcessesByName(const std::string& name, bool onlyOwnChildren);
