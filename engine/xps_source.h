#pragma once
// The library context and the input document. Everything here catches the library's errors
// and returns them as values.

#include <mupdf/fitz.h>

#include <string>

namespace engine {

// A context whose warnings and error traces are not printed: the engine reports its own
// lines. With locks it can be cloned for other threads. nullptr when it cannot be made.
fz_context* NewQuietContext(const fz_locks_context* locks = nullptr);

// A context for another thread sharing ctx's caches; ctx must have been made with locks.
// nullptr when it cannot be made.
fz_context* CloneQuietContext(fz_context* ctx);

// Opens path as an XPS document whatever its name. nullptr with error set on failure.
fz_document* OpenXpsDocument(fz_context* ctx, const std::string& path, std::string& error);

// Number of pages, or -1 with error set.
int CountDocumentPages(fz_context* ctx, fz_document* doc, std::string& error);

// The message of the error caught last, or a fixed text when there is none.
std::string CaughtMessage(fz_context* ctx);

// A page that cannot be measured is given the size of the page before it, or US Letter.
constexpr fz_rect kFallbackPageBounds = {0, 0, 612, 792};

}  // namespace engine
