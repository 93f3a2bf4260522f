#include "platform/platform.h"
#include "platform/win32/windows_api.h"

#include <tlhelp32.h>

namespace platform {

std::vector<ProcessInfo> ListProcesses(const std::string& onlyName) {
    std::vector<ProcessInfo> processes;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return processes;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (bool more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        ProcessInfo info;
        info.id = entry.th32ProcessID;
        info.parentId = entry.th32ParentProcessID;
        info.name = entry.szExeFile;
        if (!onlyName.empty() && info.name != onlyName) continue;
        processes.push_back(std::move(info));
    }
    CloseHandle(snapshot);
    return processes;
}

int64_t CurrentProcessId() { return GetCurrentProcessId(); }

void SleepMilliseconds(int milliseconds) { Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0); }

}  // namespace platform
