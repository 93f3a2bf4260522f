#include <sys/random.h>

#include <cerrno>

#include "platform/platform.h"

namespace platform {

bool RandomBytes(unsigned char* bytes, size_t count) {
    size_t filled = 0;
    while (filled < count) {
        const ssize_t got = getrandom(bytes + filled, count - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        filled += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace platform
