#include "platform/platform.h"
#include "platform/win32/windows_api.h"

#include <bcrypt.h>

#include <algorithm>

namespace platform {

bool RandomBytes(unsigned char* bytes, size_t count) {
    while (count > 0) {
        const ULONG chunk = static_cast<ULONG>(std::min<size_t>(count, 1u << 20));
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            return false;
        bytes += chunk;
        count -= chunk;
    }
    return true;
}

}  // namespace platform
