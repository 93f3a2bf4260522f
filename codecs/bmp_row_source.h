#pragma once
// The rows of a plain 24-bit bottom-up BMP file (the engine's page files), read straight from
// the file top row first, without a whole image in memory.

#include <cstdint>
#include <vector>

class ImageStream;

class BmpRowSource {
  public:
    // False when the stream is not an uncompressed 24-bit bottom-up BMP whose pixels are all
    // in the file; such files go the general way through an image object.
    bool Open(ImageStream& stream);
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    // The next row from the top, blue-green-red as stored; nullptr on a read error or past the
    // last row.
    const uint8_t* NextRow();

  private:
    ImageStream* stream_ = nullptr;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint64_t pixelsAt_ = 0;
    uint64_t stride_ = 0;
    uint32_t nextRow_ = 0;          // from the top
    std::vector<uint8_t> chunk_;    // a run of stored rows, read with one seek
    uint32_t chunkFirst_ = 0;       // top-down index of the chunk's first (topmost) row
    uint32_t chunkRows_ = 0;
};
