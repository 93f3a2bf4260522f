#pragma once
// Line caps that PDF cannot give a stroke: a different cap at each end of a line, a dash cap
// other than the line's own caps, or a triangular cap. Such a stroke is drawn with flat ends
// and its caps are filled as shapes; a dashed one is cut into its dashes first.

#include <mupdf/fitz.h>

namespace engine {

// True when one PDF line cap draws the stroke's ends as the stroke state asks.
bool HasPdfLineCaps(const fz_stroke_state* stroke);

// The caps of the open ends of path's subpaths under stroke, in the path's own space, as one
// path to be filled in the stroke's colour; nullptr when there are none. Throws library errors.
fz_path* StrokeCapShapes(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke);

// The caps PDF has: flat (FZ_LINECAP_BUTT), round and square, in that order.
constexpr int kDashCapKinds = 3;

// A dashed stroke cut into its dashes (the start cap at the start of a subpath, the end cap at
// its end, the dash cap between). dashes[cap] holds each dash that has that PDF cap at both
// ends, as an open subpath, to be stroked without a dash pattern and with that cap; every
// other dash is in dashes[FZ_LINECAP_BUTT] too, and its caps are in caps, to be filled. The
// dashes between a subpath's first and last, where the pattern allows, are instead one line in
// middles, from gap to gap, to be stroked with the pattern, middlePhase as its phase, and the
// dash cap (flat when PDF has not that cap; their caps are then in caps). Each path is nullptr
// when empty.
struct DashedStroke {
    fz_path* dashes[kDashCapKinds] = {};
    fz_path* caps = nullptr;
    fz_path* middles = nullptr;
    float middlePhase = 0;
};

// True when stroke's dash pattern draws dashes at all (else the stroke is drawn solid).
bool HasDashes(const fz_stroke_state* stroke);

// path's dashes under stroke (which must have dashes), in the path's own space, with curves
// cut into short lines. The caller drops both paths. Throws library errors.
DashedStroke CutIntoDashes(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke);

}  // namespace engine
