#pragma once
// The PDF's text layer as the markup writes it. Each glyph's text comes from its Glyphs
// element (see engine/xps/glyph_text.h): a glyph standing for the same text wherever it is
// shown gets it in its font's ToUnicode map; a run whose text cannot be told that way (a
// cluster of several glyphs, or a glyph already standing for other text) is marked with the
// whole run's text as ActualText. Glyphs of text without a UnicodeString keep the font's own
// characters.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <map>
#include <string>
#include <vector>

#include "engine/xps/glyph_text.h"

namespace engine {

class PdfTextLayer {
  public:
    explicit PdfTextLayer(fz_context* ctx) : ctx_(ctx) {}
    PdfTextLayer(const PdfTextLayer&) = delete;
    PdfTextLayer& operator=(const PdfTextLayer&) = delete;
    ~PdfTextLayer();

    // The runs of the page being drawn.
    void BeginPage(std::vector<GlyphRunText> runs);
    // Notes the glyphs of text about to be written. True when the text needs marking: then
    // marking holds the operator that opens its marked content ("... BDC"). With clip (text
    // that only clips) nothing is marked, as the content drawn inside would be marked too.
    bool Describe(const fz_text* text, bool clip, std::string& marking);
    // Writes the ToUnicode map of every font noted. Empty, or the library's error text.
    std::string StoreMaps(pdf_document* doc);

  private:
    const GlyphRunText* FindRun(const fz_text* text);

    fz_context* ctx_;
    std::vector<GlyphRunText> runs_;
    size_t nextRun_ = 0;
    // Per font, the text each glyph stands for.
    std::map<fz_font*, std::map<int, std::u32string>> glyphs_;
};

}  // namespace engine
