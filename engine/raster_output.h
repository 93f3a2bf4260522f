#pragma once
// The bmp16m device: one 24-bit BMP file per page.

#include <mupdf/fitz.h>

#include "engine/engine_options.h"

namespace engine {

// Renders every page of doc at the options' resolution into the files named by the
// options' output template. A page that fails is still written (white where it failed) so
// that page numbers stay contiguous. Errors are reported as they happen; returns true when
// every page rendered and was written completely.
bool WritePageBitmaps(fz_context* ctx, fz_document* doc, int pageCount,
                      const EngineOptions& options);

}  // namespace engine
