#pragma once
// The PDF's text layer as the markup writes it. Each glyph's text comes from its Glyphs
// element (see engine/xps/glyph_text.h) and goes into its font's ToUnicode map. A glyph shown
// for different texts in different places gets one code per text: codes past the font's glyph
// numbers name their glyph through the font's CIDToGIDMap, so that readers that take the text
// glyph by glyph read each place right. A right-to-left glyph standing for several characters
// (a ligature) is shared among as many codes, one per character, since readers disagree on the
// order of several characters in one code: the glyph itself takes the last character over the
// first part of its advance, and invisible glyphs (the font's space) written before it take the
// others over the rest, from the right. A run whose text cannot be told that way (a font that
// cannot take more codes) is also marked with the whole run's text as ActualText. Glyphs of
// text without a UnicodeString keep the font's own characters.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <map>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include "engine/xps/glyph_text.h"

namespace engine {

// The code of a glyph that stands for no text: it is drawn as its outline, not as text.
constexpr int kWordless = -1;

// The code to write for one glyph shown.
struct GlyphCode {
    int glyph;
    int code;
    // An invisible glyph to write before the next one shown, at this share of that one's
    // advance.
    bool inserted = false;
    float offset = 0;
    // How much wider (in thousandths of an em) the code is than the glyph it names.
    float widthChange = 0;
};

class PdfTextLayer {
  public:
    explicit PdfTextLayer(fz_context* ctx) : ctx_(ctx) {}
    PdfTextLayer(const PdfTextLayer&) = delete;
    PdfTextLayer& operator=(const PdfTextLayer&) = delete;
    ~PdfTextLayer();

    // The runs of the page being drawn.
    void BeginPage(std::vector<GlyphRunText> runs);
    // Notes the glyphs of text about to be written. codes gets, for each glyph written (those
    // with a glyph number, in order), the code it is to be written with (kWordless for one to
    // draw as its outline), or stays empty when every glyph keeps its glyph number. True when the text needs marking: then marking holds
    // the operator that opens its marked content ("... BDC"). With clip (text that only clips)
    // nothing is marked, as the content drawn inside would be marked too.
    bool Describe(const fz_text* text, bool clip, std::string& marking,
                  std::vector<GlyphCode>& codes);
    // Writes the ToUnicode map of every font noted, and the glyph map and widths of the codes
    // added. Empty, or the library's error text.
    std::string StoreMaps(pdf_document* doc);

  private:
    // What the codes of one font stand for.
    struct FontCodes {
        bool extendable = false;  // codes past the glyph numbers can name glyphs
        int glyphCount = 0;
        int nextCode = 0;
        std::map<int, std::u32string> texts;  // by code; empty: the glyph stands for nothing
        // (glyph, text, width in millionths of an em, or -1 for the glyph's own) -> code
        std::map<std::tuple<int, std::u32string, long>, int> added;
        std::map<int, int> glyphOf;    // added code -> glyph
        std::map<int, float> widthOf;  // added code -> its width (thousandths of an em), when not the glyph's
        int space = -1;                // the glyph of U+0020, once looked for; 0 when none
        fz_font* font = nullptr;       // the first font drawn from the program
    };

    const GlyphRunText* FindRun(const fz_text* text);
    FontCodes& CodesOf(fz_font* font);
    // The code glyph of font is written with to stand for text; -1 when none can.
    int CodeFor(fz_font* font, int glyph, const std::u32string& text);
    int AddCode(FontCodes& codes, int glyph, const std::u32string& text, float width);
    // Shares glyph, which stands for text read from the right, among one code per character
    // (see above). False, with nothing added, when the font cannot take that.
    bool ShareLigature(fz_font* font, int glyph, const std::u32string& text,
                       std::vector<GlyphCode>& codes);
    std::string StoreGlyphMap(pdf_document* doc, pdf_obj* font, fz_font* face,
                              const FontCodes& codes);

    fz_context* ctx_;
    std::vector<GlyphRunText> runs_;
    size_t nextRun_ = 0;
    // By the font program's digest: the fonts drawn from one program (one of them with
    // simulated bold, say) are one font in the PDF, so they share its codes.
    std::map<std::string, FontCodes> fonts_;
    std::map<fz_font*, FontCodes*> byFont_;  // each font kept
};

// Rewrites the glyph numbers the output device has just written into content from offset on
// (the hex strings of its text operators) with the codes given, which the text's glyphs were
// written in order, once or more (a fill and a stroke); a code wider or narrower than its
// glyph has the position adjustment after it changed to match, so that the glyphs after it
// stay where they were. Changes nothing and returns false when what was written is not that.
// Throws library errors.
bool RecodeWrittenText(fz_context* ctx, fz_buffer* content, size_t from,
                       const std::vector<GlyphCode>& codes);

}  // namespace engine
