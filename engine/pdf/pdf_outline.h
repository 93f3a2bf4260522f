#pragma once
// The document outline (DocumentStructure) as the PDF's bookmarks, with the same titles,
// nesting and targets.

#include <mupdf/pdf.h>

#include <string>

#include "engine/xps/page_layout.h"

namespace engine {

// Writes the outline of doc into pdf, whose pages are all written; nothing when doc has
// none. An entry whose target is not in the document keeps its title without a destination.
// False with error set when the library failed.
bool AddOutline(fz_context* ctx, fz_document* doc, pdf_document* pdf, const DocumentLayout& layout,
                int pageCount, std::string& error);

}  // namespace engine
