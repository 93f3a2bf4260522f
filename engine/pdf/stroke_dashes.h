#pragma once
// Dashed strokes whose caps PDF cannot give (see stroke_caps.h): cut into their dashes, so that
// each dash end takes the cap the markup asks for.

#include <mupdf/fitz.h>

namespace engine {

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
// cut into short lines. The caller drops its paths. Throws library errors.
DashedStroke CutIntoDashes(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke);

}  // namespace engine
