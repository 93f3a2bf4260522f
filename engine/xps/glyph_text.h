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
    // Per glyph, the characters it stands for alone: the whole of a cluster of one glyph, empty
    // for a glyph that shares its cluster with others. In right-to-left text they are in
    // reverse: readers lay a glyph's characters out from left to right, then read the line
    // from the right.
    std::vector<std::u32string> glyphTexts;
    std::u32string text;  // the whole UnicodeString
    // False when some cluster has several glyphs, so that the text cannot be told glyph by glyph.
    bool glyphByGlyph = true;
};

// Every Glyphs element below fixedPage that has a UnicodeString, in the order of the markup
// (resource dictionaries and brushes included).
std::vector<GlyphRunText> ReadGlyphRuns(fz_xml* fixedPage);

// One Glyphs element's UnicodeString and Indices (either may be null) and its BidiLevel.
GlyphRunText ReadGlyphRun(const char* unicodeString, const char* indices, int bidiLevel);

}  // namespace engine
