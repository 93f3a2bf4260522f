#pragma once
// Ends crash-report dialogs of this run's engine (and then the engine) while the conversion loop
// runs, so that a crashed engine cannot keep the batch waiting. Processes of other users and of
// other runs are never touched.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

constexpr const char* kCrashDialogName = "WerFault.exe";
constexpr int kWatchdogCycleMs = 100;

// Thread routine: runs until conversionActive drops to 0.
void CrashDialogWatchdog(std::atomic<int>& conversionActive);
// Drops the flag and wakes the watchdog, which then ends without finishing its cycle.
void StopWatchdog(std::atomic<int>& conversionActive);
// What one process snapshot asks the watchdog to end: every crash dialog (exact name) that
// descends from one of self's engines (self's own children of the engine's exact name) and,
// when there is such a dialog, those engines; dialogs first. Empty otherwise.
std::vector<int64_t> CrashDialogVictims(const std::vector<platform::ProcessInfo>& snapshot, int64_t self);
// One watchdog cycle: a snapshot of the system's processes, then ends what CrashDialogVictims
// names. Returns 1 when a crash dialog was found, else 0.
int EndOwnCrashDialogs();
