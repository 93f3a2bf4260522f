#pragma once
// What each Glyphs element's glyphs stand for, read from its UnicodeString and the cluster map
// of its Indices. The library gives each glyph only one character (the last of its cluster),
// which loses ligatures, decomposed characters and the text's own choice among characters
// that share a glyph; the PDF's text layer is made from this instead.

#include <mupdf/fitz.h>

#include <string>
#include <vector>

namespace engine {

struct GlyphRunText {
    // Per glyph, as the library draws them: the character it gives the glyph, and the glyph
    // number the markup names (-1 where the font's own map chooses). Used to tell which run
    // a drawn text is.
    std::vector<int> shownCharacters;
    std::vector<int> glyphIds;
    // Per glyph, the characters it stands for: a cluster's characters are shared out over its
    // glyphs in turn, the last glyph taking the rest; a glyph past the cluster's characters
    // stands for nothing (empty). In right-to-left text each glyph's characters are in
    // reverse: poppler lays them out from left to right, then reads the line from the right
    // (MuPDF takes them as they are, so the PDF's text layer gives each its own code).
    std::vector<std::u32string> glyphTexts;
    std::u32string text;  // the whole UnicodeString
    bool rightToLeft = false;
    // False when text is left with no glyph to stand for it.
    bool glyphByGlyph = true;
};

// Every Glyphs element below fixedPage that has a UnicodeString, in the order of the markup
// (resource dictionaries and brushes included).
std::vector<GlyphRunText> ReadGlyphRuns(fz_xml* fixedPage);

// One Glyphs element's UnicodeString and Indices (either may be null) and its BidiLevel.
GlyphRunText ReadGlyphRun(const char* unicodeString, const char* indices, int bidiLevel);

}  // namespace engine
