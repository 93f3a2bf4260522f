#pragma once
// Line caps that PDF cannot give a stroke: a different cap at each end of a line, a dash cap
// other than the line's own caps, or a triangular cap. Such a stroke is drawn with flat ends
// and its caps are filled as shapes; a dashed one is cut into its dashes first
// (stroke_dashes.h).

#include <mupdf/fitz.h>

namespace engine {

// True when one PDF line cap draws the stroke's ends as the stroke state asks.
bool HasPdfLineCaps(const fz_stroke_state* stroke);

// The caps of the open ends of path's subpaths under stroke, in the path's own space, as one
// path to be filled in the stroke's colour; nullptr when there are none. Throws library errors.
fz_path* StrokeCapShapes(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke);

// Adds to caps the shape of the cap of kind (none for flat) at (x, y), its outward direction
// (dx, dy), for a stroke half as wide as half. Throws library errors.
void AddCapShape(fz_context* ctx, fz_path* caps, fz_linecap kind, float x, float y, float dx,
                 float dy, float half);

}  // namespace engine
