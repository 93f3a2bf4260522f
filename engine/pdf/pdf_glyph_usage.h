#pragma once
// Which glyphs the content of a PDF shows in each font: every page, form and tiling pattern is
// read, and the two-byte codes of the text shown in a font are noted against that font.

#include <mupdf/pdf.h>

#include <map>
#include <vector>

namespace engine {

struct GlyphUsage {
    // False when some content could not be read or showed text in a font that could not be
    // told: then no font may be cut down.
    bool complete = true;
    // Font object number -> the two-byte codes (for Identity-H, the CIDs) shown in it.
    std::map<int, std::vector<bool>> codes;
};

// Reads every content stream of doc. Never throws: trouble makes the result incomplete.
GlyphUsage CollectGlyphUsage(fz_context* ctx, pdf_document* doc);

}  // namespace engine
