// The preparation steps every format routine applies to a page before it is saved.

#include "image/page_steps.h"

#include <vector>

#include "image/octree_quantizer.h"
#include "image/ximage.h"

namespace {

bool ReduceWithQuantizer(CxImage& image, uint32_t colors, uint32_t colorBits, uint32_t bits) {
    // A page already below the depth keeps its pixels.
    if (image.GetBpp() < bits) return true;
    OctreeQuantizer quantizer(colors, colorBits);
    if (!quantizer.ProcessImage(image.GetDIB())) return true;
    std::vector<RgbQuad> palette(colors, RgbQuad{0, 0, 0, 0});
    const uint32_t produced = quantizer.SetColorTable(palette.data(), colors);
    // Entries the quantizer did not fill repeat its first colour: the nearest-colour search
    // prefers the lower index on a tie, so every pixel still maps to a produced colour.
    for (uint32_t i = produced; i < colors && produced > 0; ++i) palette[i] = palette[0];
    return image.DecreaseBpp(bits, false, palette.data(), colors);
}

}  // namespace

bool ApplyPaletteReduction(CxImage& image, int32_t paletteDepth) {
    if (!image.IsValid()) return true;
    switch (paletteDepth) {
        case 1:
            return image.DecreaseBpp(1, false, nullptr, 2);
        case 4:
            return ReduceWithQuantizer(image, 16, 8, 4);
        case 8:
            return ReduceWithQuantizer(image, 256, 7, 8);
        default:
            return true;
    }
}

bool ApplyRotationStep(CxImage& image, int32_t rotation) {
    switch (rotation) {
        case 0:
            return true;
        case 90:
            return image.RotateRight();
        case 180:
            return image.RotateRight() && image.RotateRight();
        case 270:
            return image.RotateLeft();
        default:
            return image.Rotate(static_cast<float>(rotation));
    }
}

