#pragma once
// Multi-page TIFF made of pages encoded apart: each page is a complete single-directory TIFF
// (so pages can be compressed on several threads), and appending one moves its bytes to the end
// of the file with every offset shifted, then chains its directory after the previous one. The
// file's bytes depend only on the pages and their order, never on who encoded them when.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One encoded page made ready to be written at a given position of the multi-page file.
struct RelocatedTiffPage {
    std::vector<uint8_t> block;      // everything after the page's 8-byte header, offsets shifted
    uint32_t directoryOffset = 0;    // where the page's directory lands in the file
    uint32_t nextPointerOffset = 0;  // where that directory's next-directory offset lands
    bool bigEndian = false;          // the page's byte order
};

// Shifts page (a classic TIFF with one directory) so that its byte 8 lands at position, and
// numbers it pageNumber: PageNumber becomes (pageNumber, pageNumber) and PageName
// "Page <pageNumber>". position must be even and at least 8. False when the page is not such a
// TIFF, holds pointers to further directories, or would reach beyond classic TIFF's 32-bit
// offsets.
bool RelocateTiffPage(const std::vector<uint8_t>& page, uint64_t position, uint32_t pageNumber,
                      RelocatedTiffPage& relocated, std::string& error);

// Appends pages to a file opened for reading and writing ("w+b") and empty. Not thread-safe:
// the caller keeps calls in page order and one at a time.
class TiffPageAppender {
  public:
    explicit TiffPageAppender(std::FILE* file) : file_(file) {}

    // Appends page as the next directory, numbered after the pages already in. A refused page
    // leaves the file as it was; a failed write leaves it unusable (every later page fails).
    bool Append(const std::vector<uint8_t>& page);
    uint32_t PagesWritten() const { return pagesWritten_; }
    // Why the latest page was refused, or, once broken, the system's words for the failed write.
    const std::string& LastError() const { return error_; }
    // A write failed: what is in the file can no longer be trusted.
    bool Broken() const { return broken_; }

  private:
    bool WriteAt(uint64_t position, const void* bytes, size_t size);

    std::FILE* file_;
    uint64_t end_ = 0;            // bytes in use; 0 until the header is written
    uint64_t nextPointerAt_ = 4;  // where the offset of the next directory goes
    uint32_t pagesWritten_ = 0;
    bool bigEndian_ = false;
    bool broken_ = false;
    std::string error_;
};
