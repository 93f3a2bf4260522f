// The colour conversion that CxImageTIF performs itself for JPEG-compressed colour pages: RGB
// rows become YCbCr samples handed to libtiff's JPEG codec as raw strips.

#include <tiffio.h>

#include <algorithm>
#include <vector>

#include "codecs/ximage_tif.h"

void CxImageTIF::SetupYCbCr() {
    horizontalSubsampling_ = 1;
    verticalSubsampling_ = 1;
    lumaRed_ = ycbcrCoefficients_[0] = 0.299f;
    lumaGreen_ = ycbcrCoefficients_[1] = 0.587f;
    lumaBlue_ = ycbcrCoefficients_[2] = 0.114f;
    const float reference[6] = {0, 255, 128, 255, 128, 255};
    std::copy(reference, reference + 6, referenceBlackWhite_);
    for (int i = 0; i < 256; ++i) {
        lumaTableRed_[i] = static_cast<float>(i) * lumaRed_;
        lumaTableGreen_[i] = static_cast<float>(i) * lumaGreen_;
        lumaTableBlue_[i] = static_cast<float>(i) * lumaBlue_;
    }
    d1_ = 1.0f / (2.0f - 2.0f * lumaBlue_);
    d2_ = 1.0f / (2.0f - 2.0f * lumaRed_);
    lumaZeroCode_ = YCbCrCode(0.0f, 0, 255, 255);
}

uint8_t CxImageTIF::YCbCrCode(float value, int32_t black, int32_t white, int32_t range) const {
    const int code = static_cast<int>(
        static_cast<float>(black) +
        static_cast<float>(white - black) * value / static_cast<float>(range) + 0.5f);
    return static_cast<uint8_t>(std::clamp(code, 0, 255));
}

bool CxImageTIF::WriteYCbCrStrips(tiff* handle, uint32_t rowsPerStrip) {
    const uint32_t width = GetWidth();
    const uint32_t height = GetHeight();
    const uint32_t h = horizontalSubsampling_;
    const uint32_t v = verticalSubsampling_;
    const uint32_t roundedHeight = (height + v - 1) / v * v;
    rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, roundedHeight);
    const uint32_t blocksPerRow = (width + h - 1) / h;
    const size_t blockBytes = static_cast<size_t>(h) * v + 2;

    std::vector<uint8_t> strip(static_cast<size_t>(blocksPerRow) * ((rowsPerStrip + v - 1) / v) *
                               blockBytes);
    std::vector<uint8_t> rows(static_cast<size_t>(GetEffWidth()) * rowsPerStrip);

    uint32_t top = 0;
    for (uint32_t s = 0; top < height; ++s) {
        const uint32_t count = std::min(rowsPerStrip, height - top);
        // Rows from the top down, red and blue swapped into R, G, B order.
        for (uint32_t r = 0; r < count; ++r) {
            const uint8_t* stored = GetBits(height - 1 - (top + r));
            uint8_t* copy = rows.data() + static_cast<size_t>(r) * GetEffWidth();
            std::copy(stored, stored + GetEffWidth(), copy);
            for (uint32_t x = 0; x < width; ++x) std::swap(copy[3 * x], copy[3 * x + 2]);
        }
        uint8_t* out = strip.data();
        for (uint32_t by = 0; by < count; by += v) {
            for (uint32_t bx = 0; bx < width; bx += h) {
                float cbSum = 0.0f;
                float crSum = 0.0f;
                uint32_t pixels = 0;
                for (uint32_t dy = 0; dy < v; ++dy) {
                    for (uint32_t dx = 0; dx < h; ++dx) {
                        if (by + dy >= count || bx + dx >= width) {
                            *out++ = static_cast<uint8_t>(lumaZeroCode_);
                            continue;
                        }
                        const uint8_t* p = rows.data() +
                                           static_cast<size_t>(by + dy) * GetEffWidth() +
                                           3 * static_cast<size_t>(bx + dx);
                        const uint8_t red = p[0], green = p[1], blue = p[2];
                        const float y =
                            lumaTableRed_[red] + lumaTableGreen_[green] + lumaTableBlue_[blue];
                        *out++ = YCbCrCode(y, 0, 255, 255);
                        cbSum += d1_ * (static_cast<float>(blue) - y);
                        crSum += d2_ * (static_cast<float>(red) - y);
                        ++pixels;
                    }
                }
                const float n = static_cast<float>(std::max<uint32_t>(pixels, 1));
                *out++ = YCbCrCode(cbSum / n, 128, 255, 127);
                *out++ = YCbCrCode(crSum / n, 128, 255, 127);
            }
        }
        const tmsize_t size = static_cast<tmsize_t>(width) * count +
                              2 * (static_cast<tmsize_t>(width) * count) / (h * v);
        if (TIFFWriteEncodedStrip(handle, s, strip.data(), size) < 0) return false;
        top += count;
    }
    return true;
}
