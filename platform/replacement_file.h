#pragma once
// A new version of a file, written under a name of its own beside its target and renamed over
// the target only when complete. Until Commit the target is never touched; a failure, a
// destruction without Commit and an interrupt all leave no temporary file behind.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace platform {

class ReplacementFile {
  public:
    ReplacementFile() = default;
    // Removes the file unless it was committed.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the file beside target, named target + ".tmp-" + six random characters + ending,
    // and opens it with the C library mode given ("wb", "w+b"). The name is taken by exclusive
    // creation, never by looking first, so nobody else's file is opened; a name that is taken
    // is followed by another. The interrupt cleanup knows the file (and every file named after
    // it plus a dot, as a child writing to it names its own) from before it exists. The names
    // tried follow from nameSeed when it is given: the same seed, the same names. False, with
    // errno telling why, when no file could be made.
    bool Create(const std::string& target, const char* mode = "wb", const std::string& ending = "",
                std::optional<uint64_t> nameSeed = std::nullopt);

    // The open stream; nullptr before Create and after Close.
    std::FILE* stream() const { return stream_; }
    // The file's own name while it exists; empty before Create and after Commit or Discard.
    const std::string& path() const { return path_; }

    // Flushes and closes the stream. False, with errno telling why, when the data did not all
    // reach the file. The file stays, for writers that open it by its name.
    bool Close();
    // Closes the stream if it is open and renames the file over the target, replacing a file
    // there in one step. False, with errno telling why, when the close or the rename failed, or
    // when the target is read-only (FileIsReadOnly; EACCES): the file is removed then and the
    // target left as it was.
    bool Commit();
    // Closes and removes the file; does nothing when there is none.
    void Discard();

  private:
    std::string target_;
    std::string path_;
    std::FILE* stream_ = nullptr;
};

}  // namespace platform
