#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/platform.h"
#include "support/test_support.h"

// Each thread's current system call, "NUMBER FIRST-ARGUMENT ...", or "running" outside one.
bool ThreadBlocksOn(const void* address, int timeoutMs) {
    char wanted[32];
    std::snprintf(wanted, sizeof(wanted), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    for (int waited = 0;; ++waited) {
        std::error_code error;
        for (std::filesystem::directory_iterator task("/proc/self/task", error), end; !error && task != end;
             task.increment(error)) {
            std::istringstream call(ReadFile((task->path() / "syscall").string()));
            std::string number, first;
            if (call >> number >> first && first == wanted) return true;
        }
        if (waited >= timeoutMs) return false;
        platform::SleepMilliseconds(1);
    }
}
