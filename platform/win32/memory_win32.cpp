#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace platform {

uint64_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return status.ullTotalPhys;
}

// The system heap keeps freed blocks for reuse itself.
void KeepFreedMemoryForReuse() {}

}  // namespace platform
