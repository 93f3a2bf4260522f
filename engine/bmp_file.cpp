#include "engine/bmp_file.h"

#include <cmath>
#include <limits>

namespace engine {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;

void PutU16(uint8_t*& p, uint16_t v) {
    *p++ = static_cast<uint8_t>(v);
    *p++ = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t*& p, uint32_t v) {
    for (int i = 0; i < 4; ++i) *p++ = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

BmpFileWriter::~BmpFileWriter() {
    if (file_) std::fclose(file_);
}

int32_t BmpFileWriter::PixelsPerMetre(int dpi) {
    return static_cast<int32_t>(std::floor(dpi * 39.37007874015748 + 0.5));
}

bool BmpFileWriter::Open(const std::string& path, int width, int height, int dpiX, int dpiY) {
    if (file_ || width <= 0 || height <= 0) return false;
    uint64_t rowSize = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
    uint64_t imageSize = rowSize * static_cast<uint64_t>(height);
    if (imageSize + kFileHeaderSize + kInfoHeaderSize > std::numeric_limits<uint32_t>::max()) {
        return false;
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    uint8_t header[kFileHeaderSize + kInfoHeaderSize];
    uint8_t* p = header;
    *p++ = 'B';
    *p++ = 'M';
    PutU32(p, static_cast<uint32_t>(kFileHeaderSize + kInfoHeaderSize + imageSize));
    PutU32(p, 0);  // two reserved words
    PutU32(p, kFileHeaderSize + kInfoHeaderSize);
    PutU32(p, kInfoHeaderSize);
    PutU32(p, static_cast<uint32_t>(width));
    PutU32(p, static_cast<uint32_t>(height));  // positive: bottom-up rows
    PutU16(p, 1);                              // planes
    PutU16(p, 24);                             // bits per pixel
    PutU32(p, 0);                              // no compression
    PutU32(p, static_cast<uint32_t>(imageSize));
    PutU32(p, static_cast<uint32_t>(PixelsPerMetre(dpiX)));
    PutU32(p, static_cast<uint32_t>(PixelsPerMetre(dpiY)));
    PutU32(p, 0);  // colours used
    PutU32(p, 0);  // important colours
    width_ = width;
    rowsLeft_ = height;
    row_.assign(rowSize, 0);
    failed_ = std::fwrite(header, 1, sizeof header, file_) != sizeof header;
    return !failed_;
}

bool BmpFileWriter::WriteRow(const uint8_t* rgb) {
    if (!file_ || failed_ || rowsLeft_ <= 0) return false;
    for (int x = 0; x < width_; ++x) {
        row_[3 * x] = rgb[3 * x + 2];
        row_[3 * x + 1] = rgb[3 * x + 1];
        row_[3 * x + 2] = rgb[3 * x];
    }
    --rowsLeft_;
    failed_ = std::fwrite(row_.data(), 1, row_.size(), file_) != row_.size();
    return !failed_;
}

bool BmpFileWriter::Close() {
    if (!file_) return false;
    bool ok = !failed_ && rowsLeft_ == 0;
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    return ok;
}

}  // namespace engine
