#pragma once
// The bmp16m device: one 24-bit BMP file per page.

#include <mupdf/fitz.h>

#include "engine/runtime/engine_options.h"
#include "engine/runtime/library_messages.h"

namespace engine {

// How many threads draw the pages: the options' number, else one per processor.
int PageRenderingThreads(const EngineOptions& options);

// Renders every page of doc at the options' resolution into the files named by the
// options' output template. A page that fails is still written (white where it failed) so
// that page numbers stay contiguous. Errors, and the library's warnings (from messages, which
// must be attached to ctx), are reported in page order; returns true when every page rendered
// and was written completely. Pages are drawn on PageRenderingThreads()
// threads when ctx was made with locks, else one after another on this thread; the files
// are the same either way. Each page is announced on standard output once its file is complete.
// With a page backlog in the environment (page_backlog.h) no page is started while that many
// announced files are still waiting to be taken.
bool WritePageBitmaps(fz_context* ctx, fz_document* doc, int pageCount,
                      const EngineOptions& options, const LibraryMessages& messages);

}  // namespace engine
