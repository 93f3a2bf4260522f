#pragma once
// The writers' notion of a grey image: a palette image whose entry i is (i, i, i) for every
// entry, so that each pixel's index is its grey level.

#include "image/ximage.h"

inline bool HasIdentityGreyPalette(const CxImage& image) {
    if (image.GetBpp() > 8 || image.GetNumColors() == 0) return false;
    for (uint32_t i = 0; i < image.GetNumColors(); ++i) {
        const RgbQuad c = image.GetPaletteColor(static_cast<uint8_t>(i));
        if (c.rgbRed != i || c.rgbGreen != i || c.rgbBlue != i) return false;
    }
    return true;
}
