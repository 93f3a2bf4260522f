#include "engine/pdf/stroke_caps.h"

#include <cmath>

#include "engine/pdf/stroke_vector.h"
#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

using Vector = StrokeVector;

struct CapWalk {
    const fz_stroke_state* stroke;
    fz_path* caps;
    Vector start, current;
    Vector firstDirection, lastDirection;
    bool open = false;  // a subpath is under way and not closed
};

void AddCap(fz_context* ctx, fz_path* caps, fz_linecap kind, Vector p, Vector d, float half) {
    const float length = std::sqrt(d.x * d.x + d.y * d.y);
    if (kind == FZ_LINECAP_BUTT || !(length > 0)) return;
    d = {d.x / length * half, d.y / length * half};
    const Vector n = {-d.y, d.x};
    const Vector left = {p.x + n.x, p.y + n.y};
    const Vector right = {p.x - n.x, p.y - n.y};
    fz_moveto(ctx, caps, left.x, left.y);
    if (kind == FZ_LINECAP_SQUARE) {
        fz_lineto(ctx, caps, left.x + d.x, left.y + d.y);
        fz_lineto(ctx, caps, right.x + d.x, right.y + d.y);
    } else if (kind == FZ_LINECAP_TRIANGLE) {
        fz_lineto(ctx, caps, p.x + d.x, p.y + d.y);
    } else {  // round: a half disc, two quarter circles
        constexpr float k = 0.5523f;
        const Vector tip = {p.x + d.x, p.y + d.y};
        fz_curveto(ctx, caps, left.x + d.x * k, left.y + d.y * k, tip.x + n.x * k, tip.y + n.y * k,
                   tip.x, tip.y);
        fz_curveto(ctx, caps, tip.x - n.x * k, tip.y - n.y * k, right.x + d.x * k,
                   right.y + d.y * k, right.x, right.y);
    }
    fz_lineto(ctx, caps, right.x, right.y);
    fz_closepath(ctx, caps);
}

void EndSubpath(fz_context* ctx, CapWalk& w) {
    if (w.open && !IsZero(w.firstDirection)) {
        const float half = w.stroke->linewidth / 2;
        AddCap(ctx, w.caps, w.stroke->start_cap, w.start,
               {-w.firstDirection.x, -w.firstDirection.y}, half);
        AddCap(ctx, w.caps, w.stroke->end_cap, w.current, w.lastDirection, half);
    }
    w.open = false;
}

// A segment leaving the current point towards `towards` and arriving from `from`.
void Segment(CapWalk& w, Vector leaving, Vector arriving, float x, float y) {
    if (!w.open) {
        w.open = true;
        w.start = w.current;
        w.firstDirection = {};
        w.lastDirection = {};
    }
    if (IsZero(w.firstDirection)) w.firstDirection = leaving;
    if (!IsZero(arriving)) w.lastDirection = arriving;
    w.current = {x, y};
}

void MoveTo(fz_context* ctx, void* arg, float x, float y) {
    auto& w = *static_cast<CapWalk*>(arg);
    EndSubpath(ctx, w);
    w.current = {x, y};
}

void LineTo(fz_context*, void* arg, float x, float y) {
    auto& w = *static_cast<CapWalk*>(arg);
    Vector d = Minus(x, y, w.current.x, w.current.y);
    Segment(w, d, d, x, y);
}

// The first non-zero of three candidate directions.
Vector FirstNonZero(Vector a, Vector b, Vector c) { return !IsZero(a) ? a : !IsZero(b) ? b : c; }

void CurveTo(fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
    auto& w = *static_cast<CapWalk*>(arg);
    const Vector p = w.current;
    Vector leaving =
        FirstNonZero(Minus(x1, y1, p.x, p.y), Minus(x2, y2, p.x, p.y), Minus(x3, y3, p.x, p.y));
    Vector arriving =
        FirstNonZero(Minus(x3, y3, x2, y2), Minus(x3, y3, x1, y1), Minus(x3, y3, p.x, p.y));
    Segment(w, leaving, arriving, x3, y3);
}

void QuadTo(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2) {
    CurveTo(ctx, arg, x1, y1, x1, y1, x2, y2);
}

void CurveToV(fz_context* ctx, void* arg, float x2, float y2, float x3, float y3) {
    auto& w = *static_cast<CapWalk*>(arg);
    CurveTo(ctx, arg, w.current.x, w.current.y, x2, y2, x3, y3);
}

void CurveToY(fz_context* ctx, void* arg, float x1, float y1, float x3, float y3) {
    CurveTo(ctx, arg, x1, y1, x3, y3, x3, y3);
}

void ClosePath(fz_context*, void* arg) {
    auto& w = *static_cast<CapWalk*>(arg);
    if (w.open) w.current = w.start;
    w.open = false;  // a closed subpath has no ends
}

void RectTo(fz_context* ctx, void* arg, float x1, float y1, float, float) {
    MoveTo(ctx, arg, x1, y1);  // a rectangle is closed: no caps
}

}  // namespace

bool HasPdfLineCaps(const fz_stroke_state* stroke) {
    if (!stroke) return true;
    const bool dashed = stroke->dash_len > 0;
    return stroke->start_cap == stroke->end_cap &&
           (!dashed || stroke->dash_cap == stroke->start_cap) &&
           stroke->start_cap != FZ_LINECAP_TRIANGLE;
}

fz_path* StrokeCapShapes(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke) {
    static const fz_path_walker walker = {MoveTo, LineTo,   CurveTo,  ClosePath,
                                          QuadTo, CurveToV, CurveToY, RectTo};
    CapWalk walk;
    walk.stroke = stroke;
    walk.caps = fz_new_path(ctx);
    RunUndoingOnFailure(
        ctx,
        [&] {
            fz_walk_path(ctx, path, &walker, &walk);
            EndSubpath(ctx, walk);
        },
        [&] { fz_drop_path(ctx, walk.caps); });
    if (fz_is_empty_rect(fz_bound_path(ctx, walk.caps, nullptr, fz_identity))) {
        fz_drop_path(ctx, walk.caps);
        return nullptr;
    }
    return walk.caps;
}

void AddCapShape(fz_context* ctx, fz_path* caps, fz_linecap kind, float x, float y, float dx,
                 float dy, float half) {
    AddCap(ctx, caps, kind, {x, y}, {dx, dy}, half);
}

}  // namespace engine
