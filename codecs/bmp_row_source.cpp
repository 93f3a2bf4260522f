#include "codecs/bmp_row_source.h"

#include <algorithm>
#include <cstdio>

#include "codecs/image_stream.h"
#include "protocol/bmp_layout.h"
#include "protocol/byte_order.h"

namespace {

// Rows read per seek: large enough that seeking costs nothing, small next to a page.
constexpr uint64_t kChunkBytes = 256 << 10;

}  // namespace

bool BmpRowSource::Open(ImageStream& stream) {
    uint8_t header[bmp::kFileHeaderSize + bmp::kInfoHeaderSize];
    if (!stream.Seek(0, SEEK_SET) || stream.Read(header, 1, sizeof(header)) != sizeof(header)) return false;
    const uint8_t* info = header + bmp::kFileHeaderSize;
    const auto width = static_cast<int32_t>(GetLe32(info + bmp::kWidthAt));
    const auto height = static_cast<int32_t>(GetLe32(info + bmp::kHeightAt));
    if (GetLe16(header) != bmp::kMagic || GetLe32(info) < bmp::kInfoHeaderSize || width <= 0 || height <= 0 ||
        GetLe16(info + bmp::kPlanesAt) != 1 || GetLe16(info + bmp::kBitCountAt) != 24 ||
        GetLe32(info + bmp::kCompressionAt) != bmp::kRgb) {
        return false;
    }
    width_ = static_cast<uint32_t>(width);
    height_ = static_cast<uint32_t>(height);
    stride_ = (uint64_t{width_} * 3 + 3) & ~uint64_t{3};
    pixelsAt_ = GetLe32(header + bmp::kPixelOffsetAt);
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
