#include "postproc/replacement_file.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/platform.h"

namespace mstar {
namespace {

constexpr int kNameAttempts = 32;

std::string RandomSuffix(std::mt19937_64& generator) {
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::uniform_int_distribution<int> pick(0, 35);
    std::string suffix;
    for (int i = 0; i < 8; ++i) suffix += kDigits[pick(generator)];
    return suffix;
}

}  // namespace

ReplacementFile::ReplacementFile(const std::filesystem::path& target) : target_(target) {
    std::random_device entropy;
    std::mt19937_64 generator((static_cast<unsigned long long>(entropy()) << 32) ^ entropy());
    for (int attempt = 0; attempt < kNameAttempts && !stream_; ++attempt) {
        std::filesystem::path candidate = target_;
        candidate += ".mstar-" + RandomSuffix(generator) + ".tmp";
        // Created exclusively, so a name chosen by someone else is never overwritten.
        stream_ = platform::CreateNewFile(candidate.string(), "wb");
        if (stream_) temporary_ = candidate;
    }
    if (!stream_) throw std::runtime_error("cannot create a temporary file beside the target");
}

ReplacementFile::~ReplacementFile() {
    if (stream_) std::fclose(stream_);
    if (!committed_) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void ReplacementFile::Close() {
    if (!stream_) return;
    const bool flushed = std::fflush(stream_) == 0 && !std::ferror(stream_);
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!flushed || !closed) throw std::runtime_error("writing the temporary file failed");
}

void ReplacementFile::Commit() {
    Close();
    std::error_code error;
    const std::filesystem::perms original = std::filesystem::status(target_, error).permissions();
    if (!error) {
        std::filesystem::permissions(temporary_, original, error);
        if (error)
            throw std::filesystem::filesystem_error("copying permissions", temporary_, error);
    }
    if (!platform::MoveFileOver(temporary_.string(), target_.string()))
        throw std::runtime_error(std::string("cannot replace the file: ") + std::strerror(errno));
    committed_ = true;
}

}  // namespace mstar
