#pragma once
// The pdfwrite device: the document as one vector PDF.

#include <mupdf/fitz.h>

#include "engine/runtime/engine_options.h"
#include "engine/runtime/library_messages.h"

namespace engine {

// Writes every page of doc as vector content (text as text with its fonts, images in their
// own compression) with the options' document information, encrypted when the options ask
// for it, to the options' output file. A page that fails is kept as far as it was drawn.
// Errors, and the library's warnings (from messages, which must be attached to ctx), are
// reported as they happen; returns true when every page converted and the file
// was written. On a failed write no file is left behind.
bool WritePdf(fz_context* ctx, fz_document* doc, int pageCount, const EngineOptions& options,
              const LibraryMessages& messages);

}  // namespace engine
