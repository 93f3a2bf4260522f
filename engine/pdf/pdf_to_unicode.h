#pragma once
// Cutting a composite font's ToUnicode map down to the codes its text uses, once the font is a
// subset: the map the output device writes covers every glyph of the whole font.

#include <mupdf/pdf.h>

#include <vector>

namespace engine {

// Rewrites the ToUnicode stream of font (a Type0 font with two-byte codes) to map only the codes
// marked in used, each to what the old map gave it. Never throws; leaves the map alone when it
// has none or it cannot be read or stored.
void PruneToUnicode(fz_context* ctx, pdf_document* doc, pdf_obj* font,
                    const std::vector<bool>& used);

}  // namespace engine
