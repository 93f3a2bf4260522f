#pragma once
// A text drawn as the text layer writes it (see engine/pdf/pdf_text_layer.h): glyphs that stand
// for no text (the second of two glyphs drawing one character, say) are drawn as their
// outlines, not as text, since readers that take text glyph by glyph give a glyph shown without
// text a replacement character; the invisible glyphs that share a ligature's text are added.

#include <mupdf/fitz.h>

#include <vector>

#include "engine/pdf/pdf_text_layer.h"

namespace engine {

// text apart: the glyphs to write as text (the invisible ones added), and those codes marks
// kWordless.
struct TextParts {
    fz_text* worded = nullptr;
    fz_text* wordless = nullptr;
};

// Splits text by codes (one per glyph with a glyph number, as PdfTextLayer::Describe gives
// them). Both parts stay null when text is written as it is. Throws.
TextParts ArrangeText(fz_context* ctx, const fz_text* text, const std::vector<GlyphCode>& codes);

void DropTextParts(fz_context* ctx, TextParts& parts);

// Takes the wordless glyphs out of codes, which then fit the worded part.
void KeepWorded(std::vector<GlyphCode>& codes);

// The outlines of text's glyphs as the renderer draws them (simulated bold and italic
// included), in text space; null when none has one. Throws.
fz_path* GlyphOutlines(fz_context* ctx, const fz_text* text);

}  // namespace engine
