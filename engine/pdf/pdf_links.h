#pragma once
// The XPS hyperlinks (FixedPage.NavigateUri) as PDF link annotations: a URI action for an
// outside address, a destination for a place in the document.

#include <mupdf/pdf.h>

#include <string>

#include "engine/xps/page_layout.h"

namespace engine {

// Adds the links of every page of doc to the same page of pdf, whose pages are all written.
// A link whose target is not in the document is left out. So are links that may not be kept
// (ClassifyLink): leftOutNote then says how many, in one line. False with error set when the
// library failed; the links added until then stay.
bool AddPageLinks(fz_context* ctx, fz_document* doc, pdf_document* pdf,
                  const DocumentLayout& layout, int pageCount, std::string& error,
                  std::string& leftOutNote);

}  // namespace engine
