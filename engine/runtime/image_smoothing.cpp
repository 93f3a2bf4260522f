#include "engine/runtime/image_smoothing.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

constexpr int kFewColours = 16;
constexpr int kLineArtColours = 256;
constexpr int64_t kMaxCountedPixels = 4 << 20;

// Distinct pixel values of pixmap, counted up to limit + 1 (then more than limit). Pixels of
// more than 8 components count as more than limit.
int DistinctColours(fz_context* ctx, fz_pixmap* pixmap, int limit) {
    const int n = fz_pixmap_components(ctx, pixmap);
    if (n > 8) return limit + 1;
    // Open addressing over twice the slots the limit needs, so a probe ends soon.
    constexpr int kSlots = 2 * (kLineArtColours + 1);
    uint64_t keys[kSlots];
    bool used[kSlots] = {};
    int count = 0;
    const int w = fz_pixmap_width(ctx, pixmap);
    const int h = fz_pixmap_height(ctx, pixmap);
    const ptrdiff_t stride = fz_pixmap_stride(ctx, pixmap);
    const unsigned char* samples = fz_pixmap_samples(ctx, pixmap);
    for (int y = 0; y < h; ++y) {
        const unsigned char* pixel = samples + y * stride;
        for (int x = 0; x < w; ++x, pixel += n) {
            uint64_t key = 0;
            std::memcpy(&key, pixel, static_cast<size_t>(n));
            int slot = static_cast<int>(((key + 1) * 0x9E3779B97F4A7C15ull) >> 40) % kSlots;
            while (used[slot] && keys[slot] != key) slot = (slot + 1) % kSlots;
            if (used[slot]) continue;
            used[slot] = true;
            keys[slot] = key;
            if (++count > limit) return count;
        }
    }
    return count;
}

// The image's distinct colours, up to limit + 1; limit + 1 when they cannot be counted.
int ColoursOf(fz_context* ctx, fz_image* image, int limit) {
    fz_colorspace* cs = image->colorspace;
    if (cs && fz_colorspace_type(ctx, cs) == FZ_COLORSPACE_INDEXED &&
        cs->u.indexed.high + 1 <= limit) {
        return cs->u.indexed.high + 1;
    }
    if (int64_t{image->w} * image->h > kMaxCountedPixels) return limit + 1;
    int count = limit + 1;
    fz_pixmap* pixmap = nullptr;
    RunGuarded(
        ctx,
        [&] {
            pixmap = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
            count = DistinctColours(ctx, pixmap, limit);
        },
        [&] { fz_drop_pixmap(ctx, pixmap); });
    return count;
}

// True when factor is a whole number k >= 2, give or take 1 % of k.
bool IsWholeFactor(float factor) {
    const float k = std::round(factor);
    return k >= 2 && std::abs(factor - k) <= 0.01f * k;
}

}  // namespace

ImageSmoothing SmoothingFor(fz_context* ctx, fz_image* image, float across, float down) {
    if (image->w <= 0 || image->h <= 0) return ImageSmoothing::NotEnlarged;
    if (across <= image->w + 0.5f && down <= image->h + 0.5f) return ImageSmoothing::NotEnlarged;
    if (image->imagemask || image->bpc == 1) return ImageSmoothing::Sharp;
    const int colours = ColoursOf(ctx, image, kLineArtColours);
    if (colours <= kFewColours) return ImageSmoothing::Sharp;
    if (colours <= kLineArtColours && IsWholeFactor(across / image->w) &&
        IsWholeFactor(down / image->h)) {
        return ImageSmoothing::Sharp;
    }
    return ImageSmoothing::Smooth;
}

}  // namespace engine
