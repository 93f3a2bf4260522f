#include "platform/replacement_file.h"

#include <atomic>
#include <cerrno>
#include <random>

#include "platform/platform.h"

namespace platform {
namespace {

constexpr int kNameAttempts = 100;

// A different start for every file of the process, so that threads do not chase each other's
// names.
uint64_t NextNameSeed() {
    static std::atomic<uint64_t> counter{0};
    static const uint64_t start = [] {
        uint64_t value = 0;
        RandomBytes(reinterpret_cast<unsigned char*>(&value), sizeof(value));
        return value;
    }();
    return start + counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
}

std::string RandomPart(std::mt19937_64& generator) {
    static constexpr char kCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string part;
    for (int i = 0; i < 6; ++i) part += kCharacters[generator() % (sizeof(kCharacters) - 1)];
    return part;
}

}  // namespace

ReplacementFile::~ReplacementFile() { Discard(); }

bool ReplacementFile::Create(const std::string& target, const char* mode, const std::string& ending,
                             std::optional<uint64_t> nameSeed) {
    Discard();
    std::mt19937_64 generator(nameSeed ? *nameSeed : NextNameSeed());
    int reason = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts && reason == EEXIST; ++attempt) {
        const std::string candidate = target + ".tmp-" + RandomPart(generator) + ending;
        // Known to the interrupt cleanup before it exists, so no interrupt can leave it behind.
        RegisterTemporaryFile(candidate);
        errno = 0;
        stream_ = CreateNewFile(candidate, mode);
        if (stream_ != nullptr) {
            target_ = target;
            path_ = candidate;
            return true;
        }
        reason = errno != 0 ? errno : EIO;
        ForgetTemporaryFile(candidate);
    }
    errno = reason;
    return false;
}

bool ReplacementFile::Close() {
    if (stream_ == nullptr) return true;
    errno = 0;
    int reason = 0;
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) reason = errno != 0 ? errno : EIO;
    errno = 0;
    if (std::fclose(stream_) != 0 && reason == 0) reason = errno != 0 ? errno : EIO;
    stream_ = nullptr;
    errno = reason;
    return reason == 0;
}

bool ReplacementFile::Commit() {
    if (path_.empty()) {
        errno = ENOENT;
        return false;
    }
    // A read-only file is one its owner keeps: a rename would replace it all the same (POSIX)
    // or be refused only after retries (Windows).
    const bool readOnly = FileIsReadOnly(target_);
    if (readOnly) errno = EACCES;
    if (readOnly || !Close() || !MoveFileOver(path_, target_)) {
        // The removal must not change the reason the caller reports.
        const int reason = errno;
        Discard();
        errno = reason;
        return false;
    }
    const int kept = errno;
    ForgetTemporaryFile(path_);
    path_.clear();
    errno = kept;
    return true;
}

void ReplacementFile::Discard() {
    const int kept = errno;
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    if (!path_.empty()) {
        RemoveFile(path_);
        ForgetTemporaryFile(path_);
        path_.clear();
    }
    errno = kept;
}

}  // namespace platform
