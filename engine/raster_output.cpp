#include "engine/raster_output.h"

#include <algorithm>
#include <vector>

#include "engine/bmp_file.h"
#include "engine/engine_errors.h"
#include "engine/output_files.h"
#include "engine/page_recording.h"
#include "engine/xps_source.h"

namespace engine {
namespace {

// Pages are drawn in bands of about this many bytes, so a large page at a high resolution
// does not need its whole image in memory.
constexpr int64_t kBandBytes = 16 << 20;

// A white band pixmap covering area; nullptr when it cannot be allocated.
fz_pixmap* NewWhiteBand(fz_context* ctx, fz_irect area) {
    fz_pixmap* pixmap = nullptr;
    fz_var(pixmap);
    fz_try(ctx) {
        pixmap = fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), area, nullptr, 0);
        fz_clear_pixmap_with_value(ctx, pixmap, 255);
    }
    fz_catch(ctx) {
        fz_drop_pixmap(ctx, pixmap);
        pixmap = nullptr;
    }
    return pixmap;
}

// Draws the part of list that falls on pixmap. False when the library failed part-way.
bool DrawBand(fz_context* ctx, fz_display_list* list, fz_matrix ctm, fz_pixmap* pixmap,
              std::string& error) {
    fz_device* device = nullptr;
    bool ok = true;
    fz_var(ok);
    fz_var(device);
    fz_try(ctx) {
        device = fz_new_draw_device(ctx, fz_identity, pixmap);
        fz_run_display_list(ctx, list, device, ctm, fz_rect_from_irect(fz_pixmap_bbox(ctx, pixmap)),
                            nullptr);
        fz_close_device(ctx, device);
    }
    fz_always(ctx) { fz_drop_device(ctx, device); }
    fz_catch(ctx) { ok = false; }
    if (!ok) error = CaughtMessage(ctx);
    return ok;
}

struct PageImageResult {
    bool written = false;     // the file is complete and in place
    bool rendered = false;    // every band drew without error
    std::string error;        // why the file was not written
    std::string renderError;  // why a band did not draw
};

PageImageResult WritePageImage(fz_context* ctx, const PageRecording& recording,
                               const EngineOptions& options, const std::string& path) {
    PageImageResult result;
    fz_matrix ctm = fz_scale(options.resolutionX / 72.0f, options.resolutionY / 72.0f);
    fz_irect area = fz_round_rect(fz_transform_rect(recording.Bounds(), ctm));
    int width = area.x1 - area.x0;
    int height = area.y1 - area.y0;
    std::string temporary = TemporaryNameFor(path);
    BmpFileWriter bmp;
    if (width <= 0 || height <= 0 ||
        !bmp.Open(temporary, width, height, options.resolutionX, options.resolutionY)) {
        DiscardFile(temporary);
        result.error = "cannot write page file " + path;
        return result;
    }
    result.rendered = recording.List() != nullptr;
    int bandRows = static_cast<int>(
        std::clamp<int64_t>(kBandBytes / (int64_t{width} * 3), 1, int64_t{height}));
    std::vector<uint8_t> whiteRow(static_cast<size_t>(width) * 3, 255);
    bool writeOk = true;
    // BMP rows run bottom-up, so the bands are drawn from the bottom of the page.
    for (int bottom = area.y1; bottom > area.y0 && writeOk; bottom -= bandRows) {
        fz_irect band = {area.x0, std::max(area.y0, bottom - bandRows), area.x1, bottom};
        fz_pixmap* pixmap = NewWhiteBand(ctx, band);
        if (!pixmap) {
            result.rendered = false;
            result.renderError = "out of memory for a band of the page";
        } else if (recording.List() &&
                   !DrawBand(ctx, recording.List(), ctm, pixmap, result.renderError)) {
            result.rendered = false;
        }
        int rows = band.y1 - band.y0;
        for (int y = rows - 1; y >= 0 && writeOk; --y) {
            const uint8_t* row = pixmap ? fz_pixmap_samples(ctx, pixmap) +
                                              static_cast<size_t>(y) * fz_pixmap_stride(ctx, pixmap)
                                        : whiteRow.data();
            writeOk = bmp.WriteRow(row);
        }
        fz_drop_pixmap(ctx, pixmap);
    }
    if (!bmp.Close() || !writeOk || !CommitFile(temporary, path)) {
        DiscardFile(temporary);
        result.error = "cannot write page file " + path;
        return result;
    }
    result.written = true;
    return result;
}

}  // namespace

bool WritePageBitmaps(fz_context* ctx, fz_document* doc, int pageCount,
                      const EngineOptions& options) {
    bool allGood = true;
    fz_rect fallback = kFallbackPageBounds;
    for (int index = 0; index < pageCount; ++index) {
        int number = index + 1;
        PageRecording recording(ctx, doc, index, fallback);
        fallback = recording.Bounds();
        std::string path = PageFileName(options.outputFile, number, pageCount);
        PageImageResult result = WritePageImage(ctx, recording, options, path);
        if (!result.written) {
            // Nothing more can be written where this page could not be.
            ReportError(result.error);
            return false;
        }
        if (recording.Failed()) {
            ReportError("page " + std::to_string(number) + ": " + recording.Error());
            allGood = false;
        } else if (!result.rendered) {
            ReportError("page " + std::to_string(number) + ": " + result.renderError);
            allGood = false;
        }
    }
    return allGood;
}

}  // namespace engine
