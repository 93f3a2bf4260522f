#pragma once
// Arcs reach the output device already cut into hundreds of short lines (one per degree).
// Written as they come, one circle costs kilobytes of page content; refitted as a few cubic
// curves that pass within a hundredth of a point of every vertex, it looks the same and costs
// a few dozen bytes.

#include <mupdf/fitz.h>

namespace engine {

// The largest distance, in points on the page, between a vertex of a refitted run and the
// curves that replace it.
constexpr float kRefitTolerancePoints = 0.01f;

// Where a path's points come from: the document (kept as close as they were drawn), or the
// engine's own shapes (line caps), whose numbers mean no more than the tolerance.
enum class PathOrigin { Document, Engine };

// A copy of path whose long runs of short lines along smooth turns are cubic curves, each
// within tolerance (in the path's own units) of every vertex it replaces; corners stay
// corners. Its numbers are rounded to the decimal places the tolerance leaves meaningful
// (those kept from a document's path to a hundredth of that), so that they are written short.
// nullptr when the copy would be the path itself, when tolerance is not above 0, or when the
// copy could not be made (the path is then written as it is).
fz_path* RefitFlattenedCurves(fz_context* ctx, const fz_path* path, float tolerance,
                              PathOrigin origin = PathOrigin::Document) noexcept;

}  // namespace engine
