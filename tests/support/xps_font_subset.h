#pragma once
// Cuts a TrueType font down to the glyphs of some characters so that fixture packages stay
// small. Every glyph keeps its number (unused glyphs become empty), so the character map and
// the metrics are kept as they are.

#include <cstdint>
#include <string>
#include <vector>

namespace xpsfixture {

// The subset font, or an empty vector when font is not a TrueType font this can read.
std::vector<uint8_t> SubsetTrueTypeFont(const std::vector<uint8_t>& font,
                                        const std::u32string& characters);

// The glyph number the font's Unicode character map gives c (0 when it has none).
uint32_t GlyphIndexOf(const std::vector<uint8_t>& font, char32_t c);

}  // namespace xpsfixture
