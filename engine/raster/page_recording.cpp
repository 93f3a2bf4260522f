#include "engine/raster/page_recording.h"

#include "engine/runtime/mupdf_guard.h"
#include "engine/xps/xps_source.h"

namespace engine {
namespace {

bool UsableBounds(fz_rect r) {
    return r.x1 - r.x0 >= 1 && r.y1 - r.y0 >= 1 && r.x1 - r.x0 < 1e6f && r.y1 - r.y0 < 1e6f;
}

}  // namespace

PageRecording::PageRecording(fz_context* ctx, fz_document* doc, int index, fz_rect fallbackBounds)
    : ctx_(ctx), bounds_(fallbackBounds) {
    fz_page* page = nullptr;
    fz_device* device = nullptr;
    fz_display_list* list = nullptr;
    fz_rect bounds = fallbackBounds;
    error_ = RunGuarded(
        ctx,
        [&] {
            page = fz_load_page(ctx, doc, index);
            bounds = fz_bound_page(ctx, page);
            if (!UsableBounds(bounds)) {
                bounds = fallbackBounds;
                fz_throw(ctx, FZ_ERROR_GENERIC, "page has no usable size");
            }
            list = fz_new_display_list(ctx, bounds);
            device = fz_new_list_device(ctx, list);
            fz_run_page(ctx, page, device, fz_identity, nullptr);
            fz_close_device(ctx, device);
        },
        [&] {
            fz_drop_device(ctx, device);
            fz_drop_page(ctx, page);
        });
    list_ = list;
    bounds_ = bounds;
}

PageRecording::~PageRecording() { fz_drop_display_list(ctx_, list_); }

}  // namespace engine
