#pragma once
// Cutting the embedded fonts of a PDF down to the glyphs its pages show. Fonts as the output
// device embeds them (composite fonts, Identity-H, CIDs equal to glyph numbers) keep their
// glyph numbers, so the content streams, widths and ToUnicode maps stay valid; the glyphs no
// page shows are emptied, the layout tables no reader of PDF uses are dropped, and each cut
// font gets a name tagged "ABCDEF+" as the format asks of subsets.

#include <mupdf/pdf.h>

namespace engine {

// Subsets every font of doc it can; one it cannot (another encoding, a glyph map, a font
// program the subsetter refuses, content it cannot read) stays whole. Never throws.
void SubsetEmbeddedFonts(fz_context* ctx, pdf_document* doc);

}  // namespace engine
