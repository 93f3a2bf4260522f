#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/platform.h"

namespace platform {

uint64_t PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // Fixing either limit turns off the C library's own adjustment of both, so both are set.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

}  // namespace platform
