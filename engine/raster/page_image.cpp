#include "engine/raster/page_image.h"

#include <algorithm>
#include <new>
#include <vector>

#include "engine/raster/bmp_file.h"
#include "engine/raster/smoothing_device.h"
#include "engine/runtime/mupdf_guard.h"
#include "engine/xps/xps_source.h"
#include "platform/replacement_file.h"

namespace engine {
namespace {

// Pages are drawn in bands of about this many bytes, so a large page at a high resolution
// does not need its whole image in memory.
constexpr int64_t kBandBytes = 16 << 20;

// A white band pixmap covering area, its samples in memory; nullptr when it cannot be
// allocated.
fz_pixmap* NewWhiteBand(fz_context* ctx, fz_irect area, BandMemory& memory) {
    const size_t bytes = static_cast<size_t>(area.x1 - area.x0) * (area.y1 - area.y0) * 3;
    // Kept only for bands of the same size: a larger block than needed would stay resident
    // through the rest of the document.
    if (memory.size() != bytes) {
        memory = BandMemory();  // the old block goes before the new one is taken
        try {
            memory.resize(bytes);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    fz_pixmap* pixmap = nullptr;
    unsigned char* samples = memory.data();
    if (!RunGuarded(ctx, [&] {
             pixmap = fz_new_pixmap_with_bbox_and_data(ctx, fz_device_rgb(ctx), area, nullptr, 0,
                                                       samples);
             fz_clear_pixmap_with_value(ctx, pixmap, 255);
         }).empty()) {
        fz_drop_pixmap(ctx, pixmap);
        pixmap = nullptr;
    }
    return pixmap;
}

// Draws the part of list that falls on pixmap. False when the library failed part-way.
bool DrawBand(fz_context* ctx, fz_display_list* list, fz_matrix ctm, fz_pixmap* pixmap,
              std::string& error) {
    fz_device* device = nullptr;
    fz_device* smoothing = nullptr;
    error = RunGuarded(
        ctx,
        [&] {
            device = fz_new_draw_device(ctx, fz_identity, pixmap);
            smoothing = NewSmoothingDevice(ctx, device);
            fz_run_display_list(ctx, list, smoothing, ctm,
                                fz_rect_from_irect(fz_pixmap_bbox(ctx, pixmap)), nullptr);
            fz_close_device(ctx, smoothing);
        },
        [&] {
            fz_drop_device(ctx, smoothing);
            fz_drop_device(ctx, device);
        });
    return error.empty();
}

}  // namespace

PageImageResult WritePageImage(fz_context* ctx, const PageRecording& recording,
                               const EngineOptions& options, const std::string& path,
                               BandMemory& memory) {
    PageImageResult result;
    fz_matrix ctm = fz_scale(options.resolutionX / 72.0f, options.resolutionY / 72.0f);
    fz_irect area = fz_round_rect(fz_transform_rect(recording.Bounds(), ctm));
    int width = area.x1 - area.x0;
    int height = area.y1 - area.y0;
    platform::ReplacementFile file;
    BmpFileWriter bmp;
    if (width <= 0 || height <= 0 || !file.Create(path, "wb", ".part") ||
        !bmp.Open(file.stream(), width, height, options.resolutionX, options.resolutionY)) {
        result.error = "cannot write page file " + path;
        return result;
    }
    result.rendered = recording.List() != nullptr;
    int bandRows = static_cast<int>(
        std::clamp<int64_t>(kBandBytes / (int64_t{width} * 3), 1, int64_t{height}));
    std::vector<uint8_t> whiteRow;
    bool writeOk = true;
    // BMP rows run bottom-up, so the bands are drawn from the bottom of the page.
    for (int bottom = area.y1; bottom > area.y0 && writeOk; bottom -= bandRows) {
        fz_irect band = {area.x0, std::max(area.y0, bottom - bandRows), area.x1, bottom};
        int rows = band.y1 - band.y0;
        fz_pixmap* pixmap = NewWhiteBand(ctx, band, memory);
        if (!pixmap) {
            result.rendered = false;
            result.renderError = "out of memory for a band of the page";
            whiteRow.assign(static_cast<size_t>(width) * 3, 255);
            for (int y = 0; y < rows && writeOk; ++y) writeOk = bmp.WriteRow(whiteRow.data());
            continue;
        }
        if (recording.List() && !DrawBand(ctx, recording.List(), ctm, pixmap, result.renderError)) {
            result.rendered = false;
        }
        writeOk = bmp.WriteRowsBottomUp(fz_pixmap_samples(ctx, pixmap),
                                        fz_pixmap_stride(ctx, pixmap), rows);
        fz_drop_pixmap(ctx, pixmap);
    }
    if (!bmp.Finish() || !writeOk || !file.Commit()) {
        result.error = "cannot write page file " + path;
        return result;
    }
    result.written = true;
    return result;
}

}  // namespace engine
