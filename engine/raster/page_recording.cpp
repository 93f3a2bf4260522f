#include "engine/raster/page_recording.h"

#include "engine/runtime/mupdf_guard.h"
#include "engine/xps/page_load_check.h"
#include "engine/xps/xps_source.h"

namespace engine {

PageRecording::PageRecording(fz_context* ctx, fz_document* doc, int index, fz_rect fallbackBounds)
    : ctx_(ctx), bounds_(fallbackBounds) {
    fz_page* page = nullptr;
    fz_device* device = nullptr;
    fz_display_list* list = nullptr;
    fz_rect measured = fallbackBounds;
    std::string refusal;
    {
        // The library parses the page's markup as it loads it; the check looks at it there.
        PageLoadCheck check;
        error_ = RunGuarded(ctx, [&] { page = fz_load_page(ctx, doc, index); });
        refusal = check.Refusal();
    }
    if (error_.empty()) error_ = RunGuarded(ctx, [&] { measured = fz_bound_page(ctx, page); });
    if (error_.empty()) error_ = PageSizeProblem(measured, kImagePageSides);
    if (!error_.empty()) {
        fz_drop_page(ctx, page);
        return;
    }
    const bool draw = refusal.empty();
    error_ = RunGuarded(
        ctx,
        [&] {
            list = fz_new_display_list(ctx, measured);
            device = fz_new_list_device(ctx, list);
            if (draw) fz_run_page(ctx, page, device, fz_identity, nullptr);
            fz_close_device(ctx, device);
        },
        [&] {
            fz_drop_device(ctx, device);
            fz_drop_page(ctx, page);
        });
    list_ = list;
    bounds_ = measured;
    if (error_.empty()) error_ = refusal;
}

PageRecording::~PageRecording() { fz_drop_display_list(ctx_, list_); }

}  // namespace engine
