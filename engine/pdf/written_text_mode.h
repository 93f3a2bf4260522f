#pragma once
// Text written in a render mode the output device does not write itself (2: filled and stroked
// as one text object, so that readers read it once; 3: invisible). The device writes text
// filled or stroked; what it has just written is edited, and left alone when it is not what the
// edit expects.

#include <mupdf/fitz.h>

#include <cstddef>

namespace engine {

// Removes the lone point ("x y m", "S") that ends what the device wrote into content from
// offset on, leaving the graphics state it set. False, with nothing changed, when what was
// written does not end so.
bool DropWrittenLonePoint(fz_context* ctx, fz_buffer* content, size_t from);

// Gives the text the device has just written into content from offset on, filled as one new
// text object still open, render mode (0 to 7; 2 strokes with the stroke set before): "mode Tr"
// after its BT, and "0 Tr" after its last glyphs, so that the mode the device keeps track of
// stays true. False, with nothing changed, when what was written is not that. Throws library
// errors.
bool SetWrittenTextMode(fz_context* ctx, fz_buffer* content, size_t from, int mode);

}  // namespace engine
