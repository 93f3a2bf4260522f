#pragma once
// A new version of a file, written under a private name beside it and moved over the original
// only when complete. Until Commit succeeds the original is never touched; an uncommitted
// replacement is removed.

#include <cstdio>
#include <filesystem>

namespace mstar {

class ReplacementFile {
  public:
    // Creates the temporary file exclusively in the target's folder; throws on failure.
    explicit ReplacementFile(const std::filesystem::path& target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    std::FILE* stream() const { return stream_; }
    const std::filesystem::path& temporaryPath() const { return temporary_; }

    // Flushes and closes the stream; throws when the data did not reach the file.
    void Close();
    // Gives the new file the original's permissions and renames it over the original.
    void Commit();

  private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

}  // namespace mstar
