#pragma once
// Pixel access by colour for building and checking test images.

#include <cstdint>

#include "image/ximage.h"

// Sets the pixel at column x, stored row y (0 = bottom): a palette image takes the nearest index.
inline void SetPixelColour(CxImage& image, int32_t x, int32_t y, RgbQuad colour) {
    if (!image.IsInside(x, y)) return;
    if (image.GetBpp() <= 8) {
        image.SetPixelIndex(x, y, image.GetNearestIndex(colour));
        return;
    }
    uint8_t* pixel = image.GetBits(static_cast<uint32_t>(y)) + 3 * x;
    pixel[0] = colour.rgbBlue;
    pixel[1] = colour.rgbGreen;
    pixel[2] = colour.rgbRed;
}

// True when the palette is the identity grey ramp of the image's depth.
inline bool HasGreyRamp(const CxImage& image) {
    const uint32_t count = image.GetNumColors();
    if (image.GetPalette() == nullptr || count < 2 || image.GetBpp() > 8) return false;
    const uint32_t step = 255 / (count - 1);
    for (uint32_t i = 0; i < count; ++i) {
        const RgbQuad entry = image.GetPaletteColor(static_cast<uint8_t>(i));
        if (entry.rgbBlue != i * step || entry.rgbGreen != i * step || entry.rgbRed != i * step) return false;
    }
    return true;
}
