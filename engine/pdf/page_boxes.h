#pragma once
// The PDF page boxes from the FixedPage: the media box is its Width x Height, the bleed box
// its BleedBox, the trim and art boxes its ContentBox.

#include <mupdf/pdf.h>

#include "engine/xps/page_layout.h"

namespace engine {

// The page's exact size in points from its markup; libraryBounds (whose size the library
// rounds to whole XPS units) when the markup was not read.
fz_rect PageMediaBox(const PageLayout* layout, fz_rect libraryBounds);

// An XPS box as a PDF box on a page of the given media box (y upwards), cut to the media box.
fz_rect PdfBoxOf(const XpsBox& box, fz_rect mediaBox);

// Puts /BleedBox, /TrimBox and /ArtBox on pageObject where the markup gave them. Throws the
// library's errors.
void StorePageBoxes(fz_context* ctx, pdf_document* pdf, pdf_obj* pageObject,
                    const PageLayout* layout, fz_rect mediaBox);

}  // namespace engine
