#pragma once
// Markup that the library's interpreter would never finish drawing. Its path reader repeats a
// command for as long as numbers follow it, and its glyph reader goes on for as long as Indices
// has text left; each can be held in place for good by a few characters ("M 0,0 l 1", "Z 1",
// Indices="-1"). Such an element is found here before the page is drawn, so that its page is
// refused at once instead of holding the engine until its time limit.

#include <mupdf/fitz.h>

#include <string>

namespace engine {

// True when the library's reading of this abbreviated geometry (Data, Clip, Figures) would
// never end.
bool PathDataNeverEnds(const char* data);

// True when the library's reading of this Glyphs Indices would never end, or would show more
// glyphs than any page holds.
bool GlyphIndicesNeverEnd(const char* indices);

// Why the page under fixedPage cannot be drawn (the first such element named, as the markup
// has it), or empty when nothing in it holds the library.
std::string EndlessMarkupIn(fz_xml* fixedPage);

}  // namespace engine
