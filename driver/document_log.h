#pragma once
// What one document says while it is converted (the engine's lines and the converter's own),
// kept and shown as one block when the document ends, so that documents converted at the same
// time never mix their lines.

#include <mutex>
#include <string>
#include <vector>

class DocumentLog {
  public:
    // From any thread. Past kMaxBytes only the number of further lines is kept: a flood from a
    // broken engine costs no memory.
    void Add(const std::string& line);
    // The lines in the order they came, then one line counting those left out, if any.
    std::vector<std::string> Lines() const;

    static constexpr size_t kMaxBytes = 1 << 20;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    size_t bytes_ = 0;
    size_t leftOut_ = 0;
};
