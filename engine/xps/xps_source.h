#pragma once
// The library context and the input document. Everything here catches the library's errors
// and returns them as values.

#include <mupdf/fitz.h>

#include <string>

namespace engine {

// A context allocating through alloc (nullptr: the system's allocator) with a cache of at
// most storeLimit bytes. The library prints nothing itself: its warnings and errors go to
// callbacks that the engine sets (library_messages.h), dropped until then. With locks it can
// be cloned for other threads. nullptr when it cannot be made.
fz_context* NewEngineContext(const fz_alloc_context* alloc, const fz_locks_context* locks,
                             size_t storeLimit);

// A context for another thread sharing ctx's caches, its allocator and its message callbacks;
// ctx must have been made with locks. nullptr when it cannot be made.
fz_context* CloneEngineContext(fz_context* ctx);

// Opens path as an XPS document whatever its name. nullptr with error set on failure.
fz_document* OpenXpsDocument(fz_context* ctx, const std::string& path, std::string& error);

// Number of pages, or -1 with error set.
int CountDocumentPages(fz_context* ctx, fz_document* doc, std::string& error);

// A page that cannot be measured is given the size of the page before it, or US Letter.
constexpr fz_rect kFallbackPageBounds = {0, 0, 612, 792};

// The page sizes an output can hold, in points a side. PDF readers take 3 to 14,400; page
// images need a pixel at least, and a size their rows can count.
struct PageSideLimits {
    float smallest;
    float largest;
};
constexpr PageSideLimits kPdfPageSides = {3, 14400};
constexpr PageSideLimits kImagePageSides = {1, 1e6f};

// Why a page of these bounds (in points) cannot be written within limits, or empty. A size
// that is not a number is refused too.
std::string PageSizeProblem(fz_rect bounds, PageSideLimits limits);

}  // namespace engine
