#include "engine/xps/xps_source.h"

#include <cstdio>

#include "engine/runtime/mupdf_guard.h"
#include "platform/platform.h"

namespace engine {
namespace {

void DropMessage(void*, const char*) {}

}  // namespace

fz_context* NewEngineContext(const fz_alloc_context* alloc, const fz_locks_context* locks,
                             size_t storeLimit) {
    fz_context* ctx = fz_new_context(alloc, locks, storeLimit);
    if (!ctx) return nullptr;
    fz_set_warning_callback(ctx, DropMessage, nullptr);
    fz_set_error_callback(ctx, DropMessage, nullptr);
    return ctx;
}

fz_context* CloneEngineContext(fz_context* ctx) { return fz_clone_context(ctx); }

fz_document* OpenXpsDocument(fz_context* ctx, const std::string& path, std::string& error) {
    const std::string libraryPath = platform::PathForUtf8Library(path);
    const char* pathText = libraryPath.c_str();
    fz_stream* file = nullptr;
    fz_document* doc = nullptr;
    error = RunGuarded(
        ctx,
        [&] {
            fz_register_document_handlers(ctx);
            file = fz_open_file(ctx, pathText);
            // Chosen by type, not by the file's name: the input is always read as XPS.
            doc = fz_open_document_with_stream(ctx, "application/oxps", file);
        },
        [&] { fz_drop_stream(ctx, file); });
    return error.empty() ? doc : nullptr;
}

int CountDocumentPages(fz_context* ctx, fz_document* doc, std::string& error) {
    int count = -1;
    error = RunGuarded(ctx, [&] { count = fz_count_pages(ctx, doc); });
    return error.empty() ? count : -1;
}

std::string PageSizeProblem(fz_rect bounds, PageSideLimits limits) {
    const float width = bounds.x1 - bounds.x0;
    const float height = bounds.y1 - bounds.y0;
    const auto fits = [&](float side) { return side >= limits.smallest && side <= limits.largest; };
    if (fits(width) && fits(height)) return {};
    char text[160];
    std::snprintf(text, sizeof text,
                  "page size %g x %g points is outside what the output holds (%g to %g a side)",
                  static_cast<double>(width), static_cast<double>(height),
                  static_cast<double>(limits.smallest), static_cast<double>(limits.largest));
    return text;
}

}  // namespace engine
