#include "engine/raster/bmp_file.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "protocol/bmp_layout.h"
#include "protocol/byte_order.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <tmmintrin.h>
#endif

namespace engine {
namespace {

using bmp::kFileHeaderSize;
using bmp::kInfoHeaderSize;
// Large enough that writes cost little per byte, small beside a band.
constexpr size_t kPendingBytes = 1 << 20;

// RGB triplets to the BGR order of the file, one pixel at a time.
void RgbToBgrPlain(const uint8_t* __restrict rgb, uint8_t* __restrict bgr, int width) {
    for (int x = 0; x < width; ++x, rgb += 3, bgr += 3) {
        bgr[0] = rgb[2];
        bgr[1] = rgb[1];
        bgr[2] = rgb[0];
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// Five pixels per byte shuffle; this runs over every pixel of every page, so it matters.
__attribute__((target("ssse3"))) void RgbToBgrShuffled(const uint8_t* __restrict rgb,
                                                       uint8_t* __restrict bgr, int width) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int x = 0;
    // Sixteen bytes are read and written for fifteen, so the last pixels go the plain way.
    for (; x + 6 <= width; x += 5, rgb += 15, bgr += 15) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr), _mm_shuffle_epi8(pixels, order));
    }
    RgbToBgrPlain(rgb, bgr, width - x);
}

void RgbToBgr(const uint8_t* rgb, uint8_t* bgr, int width) {
    static const bool shuffle = __builtin_cpu_supports("ssse3");
    if (shuffle) {
        RgbToBgrShuffled(rgb, bgr, width);
    } else {
        RgbToBgrPlain(rgb, bgr, width);
    }
}
#else
void RgbToBgr(const uint8_t* rgb, uint8_t* bgr, int width) { RgbToBgrPlain(rgb, bgr, width); }
#endif

}  // namespace

int32_t BmpFileWriter::PixelsPerMetre(int dpi) {
    return static_cast<int32_t>(std::floor(dpi * 39.37007874015748 + 0.5));
}

bool BmpFileWriter::Open(std::FILE* stream, int width, int height, int dpiX, int dpiY) {
    if (file_ || !stream || width <= 0 || height <= 0) return false;
    uint64_t rowSize = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
    uint64_t imageSize = rowSize * static_cast<uint64_t>(height);
    if (imageSize + kFileHeaderSize + kInfoHeaderSize > std::numeric_limits<uint32_t>::max()) {
        return false;
    }
    file_ = stream;
    // Everything goes through pending_, so the stream's own buffer would only copy it again.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    width_ = width;
    rowsLeft_ = height;
    rowSize_ = static_cast<size_t>(rowSize);
    pending_.assign(std::max(kPendingBytes, rowSize_ + kFileHeaderSize + kInfoHeaderSize), 0);
    // Both headers; the fields left out (reserved words, colour counts) keep the buffer's zeros.
    uint8_t* file = pending_.data();
    PutLe16(file, bmp::kMagic);
    PutLe32(file + bmp::kFileSizeAt, static_cast<uint32_t>(kFileHeaderSize + kInfoHeaderSize + imageSize));
    PutLe32(file + bmp::kPixelOffsetAt, kFileHeaderSize + kInfoHeaderSize);
    uint8_t* info = file + kFileHeaderSize;
    PutLe32(info, kInfoHeaderSize);
    PutLe32(info + bmp::kWidthAt, static_cast<uint32_t>(width));
    PutLe32(info + bmp::kHeightAt, static_cast<uint32_t>(height));  // positive: bottom-up rows
    PutLe16(info + bmp::kPlanesAt, 1);
    PutLe16(info + bmp::kBitCountAt, 24);
    PutLe32(info + bmp::kCompressionAt, bmp::kRgb);
    PutLe32(info + bmp::kImageSizeAt, static_cast<uint32_t>(imageSize));
    PutLe32(info + bmp::kXPelsPerMeterAt, static_cast<uint32_t>(PixelsPerMetre(dpiX)));
    PutLe32(info + bmp::kYPelsPerMeterAt, static_cast<uint32_t>(PixelsPerMetre(dpiY)));
    pendingSize_ = kFileHeaderSize + kInfoHeaderSize;
    failed_ = false;
    return true;
}

bool BmpFileWriter::Flush() {
    if (pendingSize_ > 0 && !failed_) {
        failed_ = std::fwrite(pending_.data(), 1, pendingSize_, file_) != pendingSize_;
    }
    pendingSize_ = 0;
    return !failed_;
}

bool BmpFileWriter::WriteRowsBottomUp(const uint8_t* top, std::ptrdiff_t stride, int count) {
    if (!file_ || failed_ || count < 0 || count > rowsLeft_) return false;
    for (int y = count - 1; y >= 0; --y) {
        if (pendingSize_ + rowSize_ > pending_.size() && !Flush()) return false;
        uint8_t* row = pending_.data() + pendingSize_;
        RgbToBgr(top + y * stride, row, width_);
        std::fill(row + static_cast<size_t>(width_) * 3, row + rowSize_, 0);  // padding
        pendingSize_ += rowSize_;
        --rowsLeft_;
    }
    return true;
}

bool BmpFileWriter::WriteRow(const uint8_t* rgb) { return WriteRowsBottomUp(rgb, 0, 1); }

bool BmpFileWriter::Finish() {
    if (!file_) return false;
    bool ok = Flush() && rowsLeft_ == 0;
    file_ = nullptr;
    return ok;
}

}  // namespace engine
