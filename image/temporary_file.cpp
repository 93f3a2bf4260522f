#include "image/temporary_file.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <random>

#include "platform/platform.h"

std::FILE* OpenTemporaryBeside(const std::string& path, const char* mode, std::string& temporaryPath) {
    static std::atomic<uint32_t> counter{0};
    static const uint32_t start = std::random_device{}();
    static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::minstd_rand generator(start + counter.fetch_add(1) * 7919u);
        std::string suffix = ".tmp-";
        for (int i = 0; i < 6; ++i) suffix += kDigits[generator() % (sizeof(kDigits) - 1)];
        temporaryPath = path + suffix;
        // Known to the interrupt cleanup before it exists, so no interrupt can leave it behind.
        platform::RegisterTemporaryFile(temporaryPath);
        // Created exclusively, so another writer's file is never taken over.
        if (std::FILE* file = platform::CreateNewFile(temporaryPath, mode)) return file;
        const int reason = errno;
        platform::ForgetTemporaryFile(temporaryPath);
        errno = reason;  // callers report why the file could not be made
        if (reason != EEXIST) break;
    }
    temporaryPath.clear();
    return nullptr;
}

bool PutTemporaryInPlace(bool complete, const std::string& temporaryPath, const std::string& target) {
    if (temporaryPath.empty()) return false;
    const bool placed = complete && platform::MoveFileOver(temporaryPath, target);
    // Callers report why a rename failed: the clean-up below must not change the reason.
    const int reason = errno;
    if (!placed) platform::RemoveFile(temporaryPath);
    platform::ForgetTemporaryFile(temporaryPath);
    errno = reason;
    return placed;
}
