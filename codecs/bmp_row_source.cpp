#include "codecs/bmp_row_source.h"

#include <algorithm>
#include <cstdio>

#include "codecs/image_stream.h"

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kFileHeaderSize = 14;
// Rows read per seek: large enough that seeking costs nothing, small next to a page.
constexpr uint64_t kChunkBytes = 256 << 10;

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

bool BmpRowSource::Open(ImageStream& stream) {
    uint8_t header[kFileHeaderSize + kInfoHeaderSize];
    if (!stream.Seek(0, SEEK_SET) || stream.Read(header, 1, sizeof(header)) != sizeof(header)) return false;
    const uint8_t* info = header + kFileHeaderSize;
    const auto width = static_cast<int32_t>(Le32(info + 4));
    const auto height = static_cast<int32_t>(Le32(info + 8));
    if (header[0] != 'B' || header[1] != 'M' || Le32(info) < kInfoHeaderSize || width <= 0 || height <= 0 ||
        Le16(info + 12) != 1 || Le16(info + 14) != 24 || Le32(info + 16) != 0) {
        return false;
    }
    width_ = static_cast<uint32_t>(width);
    height_ = static_cast<uint32_t>(height);
    stride_ = (uint64_t{width_} * 3 + 3) & ~uint64_t{3};
    pixelsAt_ = Le32(header + 10);
    const int64_t size = stream.Size();
    if (size < 0 || pixelsAt_ < sizeof(header) || pixelsAt_ + stride_ * height_ > static_cast<uint64_t>(size))
        return false;
    stream_ = &stream;
    nextRow_ = 0;
    chunkRows_ = 0;
    return true;
}

const uint8_t* BmpRowSource::NextRow() {
    if (stream_ == nullptr || nextRow_ >= height_) return nullptr;
    const uint32_t row = nextRow_++;
    if (row >= chunkFirst_ + chunkRows_ || chunkRows_ == 0) {
        // The rows below in the picture come first in the file: read the next run of rows
        // downwards, which ends just before the run read last.
        chunkFirst_ = row;
        chunkRows_ = static_cast<uint32_t>(std::clamp<uint64_t>(kChunkBytes / stride_, 1, height_ - row));
        const uint32_t bottomStored = height_ - (chunkFirst_ + chunkRows_);  // stored index of the lowest row
        chunk_.resize(static_cast<size_t>(stride_ * chunkRows_));
        if (!stream_->Seek(static_cast<int64_t>(pixelsAt_ + stride_ * bottomStored), SEEK_SET) ||
            stream_->Read(chunk_.data(), 1, chunk_.size()) != chunk_.size()) {
            stream_ = nullptr;
            return nullptr;
        }
    }
    // Within the chunk, stored order is bottom-up too.
    const uint32_t inChunkFromBottom = chunkFirst_ + chunkRows_ - 1 - row;
    return chunk_.data() + stride_ * inChunkFromBottom;
}
