#pragma once
// Line caps that PDF cannot give a stroke: a different cap at each end of a line, or a
// triangular cap. Such a stroke is drawn with flat ends and its caps are filled as shapes.

#include <mupdf/fitz.h>

namespace engine {

// True when one PDF line cap draws the stroke's ends as the stroke state asks.
bool HasPdfLineCaps(const fz_stroke_state* stroke);

// The caps of the open ends of path's subpaths under stroke, in the path's own space, as one
// path to be filled in the stroke's colour; nullptr when there are none. Throws library errors.
fz_path* StrokeCapShapes(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke);

}  // namespace engine
