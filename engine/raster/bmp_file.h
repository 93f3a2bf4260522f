#pragma once
// A 24-bit bottom-up BMP file written row by row, bottom row first, so that a page can be
// rendered in bands without holding the whole image.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace engine {

class BmpFileWriter {
  public:
    BmpFileWriter() = default;
    BmpFileWriter(const BmpFileWriter&) = delete;
    BmpFileWriter& operator=(const BmpFileWriter&) = delete;

    // Starts the image on stream, freshly opened and written by nobody else; both headers go
    // first. False when the image is too large for the format.
    bool Open(std::FILE* stream, int width, int height, int dpiX, int dpiY);
    // Appends one row of width RGB triplets; rows go from the bottom of the image upwards.
    bool WriteRow(const uint8_t* rgb);
    // Appends count rows of RGB triplets stored top-down stride bytes apart, the last one
    // first, as a band of the image drawn from the top comes.
    bool WriteRowsBottomUp(const uint8_t* top, std::ptrdiff_t stride, int count);
    // Hands the last rows to the stream, which the caller then closes; false when any write
    // failed or rows are missing.
    bool Finish();

    // Pixels per metre stored in the header for a resolution in dots per inch.
    static int32_t PixelsPerMetre(int dpi);

  private:
    bool Flush();

    std::FILE* file_ = nullptr;
    int width_ = 0;
    int rowsLeft_ = 0;
    bool failed_ = false;
    size_t rowSize_ = 0;
    // Rows are gathered here in their file form and written in large pieces.
    std::vector<uint8_t> pending_;
    size_t pendingSize_ = 0;
};

}  // namespace engine
