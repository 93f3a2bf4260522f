#include "engine/raster/region_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/raster/jpeg_encoder.h"
#include "engine/raster/smoothing_device.h"
#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

constexpr float kDotsPerInch = 300;
constexpr double kMaxPixels = 16e6;
constexpr int kJpegQuality = 90;

// The alpha values of pixmap: 0 when all are transparent, 2 when all are opaque, 1 otherwise.
int AlphaCoverage(fz_pixmap* pixmap) {
    const int w = fz_pixmap_width(nullptr, pixmap);
    const int h = fz_pixmap_height(nullptr, pixmap);
    const int n = fz_pixmap_components(nullptr, pixmap);
    const ptrdiff_t stride = fz_pixmap_stride(nullptr, pixmap);
    const unsigned char* samples = fz_pixmap_samples(nullptr, pixmap);
    bool anyVisible = false;
    bool allOpaque = true;
    for (int y = 0; y < h; ++y) {
        const unsigned char* alpha = samples + y * stride + n - 1;
        for (int x = 0; x < w; ++x, alpha += n) {
            anyVisible = anyVisible || *alpha != 0;
            allOpaque = allOpaque && *alpha == 255;
        }
        if (anyVisible && !allOpaque) return 1;  // the rest cannot change the answer
    }
    return !anyVisible ? 0 : allOpaque ? 2 : 1;
}

// An opaque copy of an opaque pixmap without its alpha channel.
fz_pixmap* WithoutAlpha(fz_context* ctx, fz_pixmap* pixmap) {
    fz_irect box = fz_pixmap_bbox(ctx, pixmap);
    fz_pixmap* opaque =
        fz_new_pixmap_with_bbox(ctx, fz_pixmap_colorspace(ctx, pixmap), box, nullptr, 0);
    const int w = box.x1 - box.x0;
    const int h = box.y1 - box.y0;
    const int n = fz_pixmap_components(ctx, pixmap);
    const int colours = n - 1;
    const unsigned char* from = fz_pixmap_samples(ctx, pixmap);
    unsigned char* to = fz_pixmap_samples(ctx, opaque);
    for (int y = 0; y < h; ++y) {
        const unsigned char* source = from + y * fz_pixmap_stride(ctx, pixmap);
        unsigned char* target = to + y * fz_pixmap_stride(ctx, opaque);
        for (int x = 0; x < w; ++x, source += n, target += colours) {
            std::copy(source, source + colours, target);
        }
    }
    return opaque;
}

// Calls change(pixel, components) on every pixel of a pixmap whose last component is alpha.
template <typename Change>
void ForEachPixel(fz_pixmap* pixmap, Change change) {
    const int w = fz_pixmap_width(nullptr, pixmap);
    const int h = fz_pixmap_height(nullptr, pixmap);
    const int n = fz_pixmap_components(nullptr, pixmap);
    const ptrdiff_t stride = fz_pixmap_stride(nullptr, pixmap);
    unsigned char* samples = fz_pixmap_samples(nullptr, pixmap);
    for (int y = 0; y < h; ++y) {
        unsigned char* pixel = samples + y * stride;
        for (int x = 0; x < w; ++x, pixel += n) change(pixel, n);
    }
}

// The draw device leaves colours multiplied by their alpha; a JPEG's colours are not.
void Unpremultiply(fz_pixmap* pixmap) {
    ForEachPixel(pixmap, [](unsigned char* pixel, int n) {
        const int alpha = pixel[n - 1];
        if (alpha == 0 || alpha == 255) return;
        for (int k = 0; k < n - 1; ++k) {
            pixel[k] =
                static_cast<unsigned char>(std::min(255, (pixel[k] * 255 + alpha / 2) / alpha));
        }
    });
}

// The alpha channel of pixmap as a grey image, for use as a soft mask.
fz_image* AlphaMaskImage(fz_context* ctx, fz_pixmap* pixmap) {
    fz_irect box = fz_pixmap_bbox(ctx, pixmap);
    fz_pixmap* alpha = fz_new_pixmap_with_bbox(ctx, fz_device_gray(ctx), box, nullptr, 0);
    const int w = box.x1 - box.x0;
    const int h = box.y1 - box.y0;
    const int n = fz_pixmap_components(ctx, pixmap);
    for (int y = 0; y < h; ++y) {
        const unsigned char* source =
            fz_pixmap_samples(ctx, pixmap) + y * fz_pixmap_stride(ctx, pixmap);
        unsigned char* target = fz_pixmap_samples(ctx, alpha) + y * fz_pixmap_stride(ctx, alpha);
        for (int x = 0; x < w; ++x) target[x] = source[x * n + n - 1];
    }
    fz_image* image = nullptr;
    RunWithCleanup(
        ctx, [&] { image = fz_new_image_from_pixmap(ctx, alpha, nullptr); },
        [&] { fz_drop_pixmap(ctx, alpha); });
    return image;
}

// The colours of pixmap as a JPEG image with mask as its soft mask; nullptr when the encoder
// failed. The caller's reference to mask is dropped.
fz_image* JpegImage(fz_context* ctx, fz_pixmap* pixmap, fz_image* mask) {
    unsigned char* jpeg = nullptr;
    size_t size = 0;
    if (!EncodeRgbJpeg(fz_pixmap_samples(ctx, pixmap), fz_pixmap_width(ctx, pixmap),
                       fz_pixmap_height(ctx, pixmap), fz_pixmap_stride(ctx, pixmap),
                       fz_pixmap_components(ctx, pixmap), kJpegQuality, &jpeg, &size)) {
        fz_drop_image(ctx, mask);
        return nullptr;
    }
    fz_compressed_buffer* compressed = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            compressed = fz_malloc_struct(ctx, fz_compressed_buffer);
            compressed->params.type = FZ_IMAGE_JPEG;
            compressed->params.u.jpeg.color_transform = -1;
            compressed->buffer = fz_new_buffer_from_copied_data(ctx, jpeg, size);
        },
        [&] { std::free(jpeg); },
        [&] {
            fz_drop_compressed_buffer(ctx, compressed);
            fz_drop_image(ctx, mask);
        });
    // The image takes over the compressed buffer and keeps its own reference to the mask.
    fz_image* image = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            image = fz_new_image_from_compressed_buffer(
                ctx, fz_pixmap_width(ctx, pixmap), fz_pixmap_height(ctx, pixmap), 8,
                fz_device_rgb(ctx), 96, 96, 0, 0, nullptr, nullptr, compressed, mask);
        },
        [&] { fz_drop_image(ctx, mask); });
    return image;
}

// Gives fully transparent pixels the colour of a visible neighbour. A reader that scales the
// image blends colours before it applies the alpha, so otherwise the black of the empty pixels
// would rim every edge.
void BleedIntoTransparent(fz_context* ctx, fz_pixmap* pixmap) {
    const int w = fz_pixmap_width(nullptr, pixmap);
    const int h = fz_pixmap_height(nullptr, pixmap);
    const int n = fz_pixmap_components(nullptr, pixmap);
    const int colours = n - 1;
    const ptrdiff_t stride = fz_pixmap_stride(nullptr, pixmap);
    unsigned char* samples = fz_pixmap_samples(nullptr, pixmap);
    // Plain memory: this runs inside the library's try block.
    auto* rowHasColour = static_cast<char*>(std::calloc(static_cast<size_t>(h), 1));
    if (!rowHasColour) fz_throw(ctx, FZ_ERROR_MEMORY, "malloc of engine data failed");
    for (int y = 0; y < h; ++y) {
        unsigned char* row = samples + y * stride;
        int lastVisible = -1;
        for (int x = 0; x < w; ++x) {
            unsigned char* pixel = row + x * n;
            if (pixel[colours] != 0) {
                if (lastVisible < 0) {  // the run before the first visible pixel takes its colour
                    for (int k = 0; k < x; ++k) std::copy(pixel, pixel + colours, row + k * n);
                }
                lastVisible = x;
            } else if (lastVisible >= 0) {
                std::copy(row + lastVisible * n, row + lastVisible * n + colours, pixel);
            }
        }
        rowHasColour[y] = lastVisible >= 0;
    }
    // Rows without any visible pixel take the colours of the nearest row above, else below.
    int source = -1;
    for (int y = 0; y < h; ++y) {
        if (rowHasColour[y]) {
            if (source < 0) {
                for (int k = 0; k < y; ++k) {
                    for (int x = 0; x < w; ++x) {
                        std::copy(samples + y * stride + x * n,
                                  samples + y * stride + x * n + colours,
                                  samples + k * stride + x * n);
                    }
                }
            }
            source = y;
        } else if (source >= 0) {
            for (int x = 0; x < w; ++x) {
                std::copy(samples + source * stride + x * n,
                          samples + source * stride + x * n + colours,
                          samples + y * stride + x * n);
            }
        }
    }
    std::free(rowHasColour);
}

// Premultiplied white of each pixel's own alpha.
void WhitenKeepingAlpha(fz_pixmap* pixmap) {
    ForEachPixel(
        pixmap, [](unsigned char* pixel, int n) { std::fill(pixel, pixel + n - 1, pixel[n - 1]); });
}

}  // namespace

RegionImage RenderRegion(fz_context* ctx, fz_rect bounds, float unitScale, bool photographic,
                         RegionPainter painter, void* arg, bool coverageOnly) {
    RegionImage result;
    if (fz_is_empty_rect(bounds) || fz_is_infinite_rect(bounds)) return result;
    double scale = kDotsPerInch / 72 * std::max(unitScale, 1e-3f);
    const double area = double(bounds.x1 - bounds.x0) * double(bounds.y1 - bounds.y0);
    if (area * scale * scale > kMaxPixels) scale = std::sqrt(kMaxPixels / area);
    const float s = static_cast<float>(scale);
    fz_irect box = fz_round_rect(fz_transform_rect(bounds, fz_scale(s, s)));
    if (box.x1 <= box.x0 || box.y1 <= box.y0) return result;

    const bool asJpeg = photographic && !coverageOnly;  // white coverage is not photographic
    fz_pixmap* pixmap = nullptr;
    fz_pixmap* opaque = nullptr;
    fz_device* device = nullptr;
    fz_device* smoothing = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            pixmap = fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), box, nullptr, 1);
            fz_clear_pixmap(ctx, pixmap);
            device = fz_new_draw_device(ctx, fz_identity, pixmap);
            smoothing = NewSmoothingDevice(ctx, device);
            painter(ctx, smoothing, fz_scale(s, s), arg);
            fz_close_device(ctx, smoothing);
            if (coverageOnly) WhitenKeepingAlpha(pixmap);
            int coverage = AlphaCoverage(pixmap);
            if (coverage != 0) {
                if (coverage == 1) BleedIntoTransparent(ctx, pixmap);
                if (asJpeg) {
                    if (coverage == 1) Unpremultiply(pixmap);
                    result.image = JpegImage(ctx, pixmap,
                                             coverage == 1 ? AlphaMaskImage(ctx, pixmap) : nullptr);
                }
                if (!result.image) {
                    if (coverage == 2) opaque = WithoutAlpha(ctx, pixmap);
                    result.image = fz_new_image_from_pixmap(ctx, opaque ? opaque : pixmap, nullptr);
                }
                result.placement = fz_make_matrix((box.x1 - box.x0) / s, 0, 0,
                                                  (box.y1 - box.y0) / s, box.x0 / s, box.y0 / s);
            }
        },
        [&] {
            fz_drop_device(ctx, smoothing);
            fz_drop_device(ctx, device);
            fz_drop_pixmap(ctx, opaque);
            fz_drop_pixmap(ctx, pixmap);
        });
    return result;
}

fz_rect MarkedBounds(fz_context* ctx, fz_display_list* list) {
    fz_rect bounds = fz_empty_rect;
    fz_device* device = fz_new_bbox_device(ctx, &bounds);
    RunWithCleanup(
        ctx,
        [&] {
            fz_run_display_list(ctx, list, device, fz_identity, fz_infinite_rect, nullptr);
            fz_close_device(ctx, device);
        },
        [&] { fz_drop_device(ctx, device); });
    return bounds;
}

}  // namespace engine
