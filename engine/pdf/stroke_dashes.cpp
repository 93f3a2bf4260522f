#include "engine/pdf/stroke_dashes.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/pdf/stroke_caps.h"
#include "engine/pdf/stroke_vector.h"
#include "engine/runtime/mupdf_guard.h"

// The dash pattern is walked along the path as MuPDF's own stroker walks it, so that each dash
// starts and ends where that stroker puts it and takes the cap it gives it.

namespace engine {
namespace {

using Vector = StrokeVector;

void AddCap(fz_context* ctx, fz_path* caps, fz_linecap kind, Vector p, Vector d, float half) {
    AddCapShape(ctx, caps, kind, p.x, p.y, d.x, d.y, half);
}

constexpr float kMinPatternLength = 0.01f;  // shorter patterns draw a solid line
static_assert(FZ_LINECAP_BUTT == 0 && FZ_LINECAP_ROUND == 1 && FZ_LINECAP_SQUARE == 2 &&
              FZ_LINECAP_TRIANGLE == kDashCapKinds);

struct DashWalk {
    const fz_stroke_state* stroke = nullptr;
    fz_path* dash = nullptr;  // the dash being drawn, until its end cap is known
    fz_path* dashes[kDashCapKinds] = {};
    fz_path* caps = nullptr;
    // Where the walk is in the dash pattern.
    int index = 0;
    float left = 0;  // of the current entry
    bool on = true;
    fz_linecap cap = FZ_LINECAP_BUTT;  // the cap of the next dash's start
    Vector current, subpathStart;
    // The dash being drawn.
    bool inDash = false;
    bool drawn = false;  // it has a segment in dashes
    bool used[kDashCapKinds] = {};  // some dash went into dashes[cap]
    Vector dashStart, dashEnd, startDirection, endDirection;
    fz_linecap startCap = FZ_LINECAP_BUTT;
    // The dashes between a subpath's first and its last are drawn as one line with the dash
    // pattern, from the middle of the gap after its first dash to the middle of the gap before
    // its last: its vertices, each with its distance along it, and those two distances.
    bool middleAllowed = false;  // the pattern can be given to PDF as it is
    bool middle = false;         // the subpath has such a line
    bool phaseSet = false;
    float middlePhase = 0;  // the same for every subpath: the pattern restarts in each
    int dashesBegun = 0;
    struct Vertex {
        Vector p;
        double along;
    };
    std::vector<Vertex> vertices;
    bool failed = false;  // short of memory
    double middleStart = 0;
    double gapStart = 0, gapLength = 0;  // the latest gap
    double middleEnd = 0;                // the middle of the gap before the latest dash
    fz_path* middles = nullptr;
    bool anyMiddle = false;
};

float Distance(Vector a, Vector b) { return std::hypot(b.x - a.x, b.y - a.y); }

void NextEntry(DashWalk& w) {
    w.on = !w.on;
    w.index = (w.index + 1) % w.stroke->dash_len;
    w.left = w.stroke->dash_list[w.index];
}

float PatternLength(const fz_stroke_state* stroke) {
    float total = 0;
    for (int i = 0; i < stroke->dash_len; ++i) total += std::fmax(stroke->dash_list[i], 0.0f);
    return total;
}

void RestartPattern(DashWalk& w) {
    w.index = 0;
    w.on = true;
    w.left = w.stroke->dash_list[0];
    // Whole periods of the phase change nothing (a period is two patterns when it has an odd
    // number of entries, as the entries then alternate between dash and gap).
    const float period = PatternLength(w.stroke) * (w.stroke->dash_len % 2 ? 2 : 1);
    float phase = std::fmod(std::fmax(w.stroke->dash_phase, 0.0f), period);
    while (phase > 0 && phase >= w.left) {
        phase -= w.left;
        NextEntry(w);
    }
    w.left -= phase;
}

void BeginDash(DashWalk& w, Vector at, fz_linecap cap, Vector direction) {
    ++w.dashesBegun;
    w.middleEnd = w.gapStart + w.gapLength / 2;
    w.inDash = true;
    w.drawn = false;
    w.dashStart = w.dashEnd = at;
    w.startDirection = w.endDirection = direction;
    w.startCap = cap;
}

void ExtendDash(fz_context* ctx, DashWalk& w, Vector to, Vector direction) {
    if (!w.drawn) {
        fz_drop_path(ctx, w.dash);
        w.dash = nullptr;
        w.dash = fz_new_path(ctx);
        fz_moveto(ctx, w.dash, w.dashStart.x, w.dashStart.y);
        w.drawn = true;
        if (IsZero(w.startDirection)) w.startDirection = direction;
    }
    fz_lineto(ctx, w.dash, to.x, to.y);
    w.dashEnd = to;
    w.endDirection = direction;
}

void CopyMoveTo(fz_context* ctx, void* to, float x, float y) {
    fz_moveto(ctx, static_cast<fz_path*>(to), x, y);
}

void CopyLineTo(fz_context* ctx, void* to, float x, float y) {
    fz_lineto(ctx, static_cast<fz_path*>(to), x, y);
}

// Copies the dash's segments (a move and lines) to the end of path.
void AppendDash(fz_context* ctx, fz_path* dash, fz_path* path) {
    static const fz_path_walker copy = {CopyMoveTo, CopyLineTo, nullptr, nullptr,
                                        nullptr,    nullptr,    nullptr, nullptr};
    fz_walk_path(ctx, dash, &copy, path);
}

void AddVertex(DashWalk& w, Vector p, double along) {
    try {
        w.vertices.push_back({p, along});
    } catch (...) {
        w.failed = true;
    }
}

// The point at distance along the subpath's vertices, from the segment at or after *segment.
Vector PointAlong(const DashWalk& w, double along, size_t& segment) {
    while (segment + 2 < w.vertices.size() && w.vertices[segment + 1].along < along) ++segment;
    const auto& a = w.vertices[segment];
    const auto& b = w.vertices[segment + 1];
    const double span = b.along - a.along;
    const double t = span > 0 ? std::fmin(std::fmax((along - a.along) / span, 0.0), 1.0) : 0;
    return {static_cast<float>(a.p.x + (b.p.x - a.p.x) * t),
            static_cast<float>(a.p.y + (b.p.y - a.p.y) * t)};
}

// Adds the subpath's middle line to middles.
void AddMiddle(fz_context* ctx, DashWalk& w) {
    if (w.vertices.size() < 2 || !(w.middleEnd > w.middleStart)) return;
    size_t segment = 0;
    const Vector start = PointAlong(w, w.middleStart, segment);
    fz_moveto(ctx, w.middles, start.x, start.y);
    for (; segment + 1 < w.vertices.size() && w.vertices[segment + 1].along < w.middleEnd;
         ++segment) {
        fz_lineto(ctx, w.middles, w.vertices[segment + 1].p.x, w.vertices[segment + 1].p.y);
    }
    segment = std::min(segment, w.vertices.size() - 2);
    const Vector end = PointAlong(w, w.middleEnd, segment);
    fz_lineto(ctx, w.middles, end.x, end.y);
    w.anyMiddle = true;
}

// A dash with one cap PDF has at both ends is stroked with that cap; any other dash is stroked
// flat, its caps filled. A dash inside the middle line has its geometry there.
void EndDash(fz_context* ctx, DashWalk& w, fz_linecap cap, Vector direction) {
    if (!w.inDash) return;
    w.inDash = false;
    const bool last = IsZero(direction);  // ended by the subpath's end, not by the next dash
    const bool inner = w.middle && w.dashesBegun > 1 && !last;
    if (w.middle && last && w.dashesBegun > 2) AddMiddle(ctx, w);
    if (IsZero(w.startDirection)) w.startDirection = direction;
    if (IsZero(w.endDirection)) w.endDirection = w.startDirection;
    if (IsZero(w.startDirection)) return;  // a point with no direction: nothing to draw
    const float half = w.stroke->linewidth / 2;
    // A dash of no length is a dot, drawn whole in the cap it starts with.
    const bool dot = Distance(w.dashStart, w.dashEnd) < 1e-6f;
    if (dot) cap = w.startCap;
    const bool oneCap = w.drawn && !dot && cap == w.startCap && cap < kDashCapKinds;
    if (inner && !dot) {
        if (cap < kDashCapKinds) return;  // the middle line's own caps
        AddCap(ctx, w.caps, w.startCap, w.dashStart,
               {-w.startDirection.x, -w.startDirection.y}, half);
        AddCap(ctx, w.caps, cap, w.dashEnd, w.endDirection, half);
        return;
    }
    if (w.drawn) {
        const int kind = oneCap ? cap : FZ_LINECAP_BUTT;
        AppendDash(ctx, w.dash, w.dashes[kind]);
        w.used[kind] = true;
    }
    if (oneCap) return;
    AddCap(ctx, w.caps, w.startCap, w.dashStart, {-w.startDirection.x, -w.startDirection.y}, half);
    AddCap(ctx, w.caps, cap, w.dashEnd, w.endDirection, half);
}

// Where the walk is in the pattern, as PDF counts it (from the start of its first entry, a
// pattern with an odd number of entries taken twice).
float PatternPosition(const DashWalk& w) {
    float position = w.on != (w.index % 2 == 0) ? PatternLength(w.stroke) : 0;
    for (int i = 0; i < w.index; ++i) position += w.stroke->dash_list[i];
    return position + w.stroke->dash_list[w.index] - w.left;
}

// A gap begins at distance along the subpath; after the first dash, so may the middle line.
void BeginGap(DashWalk& w, double along) {
    w.gapStart = along;
    w.gapLength = w.left;
    if (w.dashesBegun != 1 || !w.middleAllowed) return;
    const float phase = PatternPosition(w) + w.left / 2;
    if (!w.phaseSet) {
        w.middlePhase = phase;
        w.phaseSet = true;
    }
    w.middle = std::fabs(phase - w.middlePhase) <= 1e-4f * PatternLength(w.stroke);
    w.middleStart = along + w.left / 2;
}

void DashMoveTo(fz_context* ctx, DashWalk& w, Vector to) {
    EndDash(ctx, w, w.stroke->end_cap, {});
    w.vertices.clear();
    AddVertex(w, to, 0);
    w.middle = false;
    w.dashesBegun = 0;
    w.gapStart = w.gapLength = 0;
    RestartPattern(w);
    w.current = w.subpathStart = to;
    if (w.on) {
        w.cap = w.stroke->start_cap;
        BeginDash(w, to, w.cap, {});
    }
}

void DashLineTo(fz_context* ctx, DashWalk& w, Vector to) {
    const Vector d = Minus(to.x, to.y, w.current.x, w.current.y);
    const float length = std::sqrt(d.x * d.x + d.y * d.y);
    if (!(length > 0)) return;
    const Vector unit = {d.x / length, d.y / length};
    const double along = w.vertices.empty() ? 0 : w.vertices.back().along;
    float at = 0;
    while (w.left <= length - at) {
        at += std::fmax(w.left, 0.0f);
        const Vector point = {w.current.x + unit.x * at, w.current.y + unit.y * at};
        // A dash takes its end cap when the next one starts: the last dash of a subpath ends
        // in the end cap even when a gap follows it.
        if (w.on) {
            if (w.inDash) ExtendDash(ctx, w, point, unit);
            w.cap = w.stroke->dash_cap;
        } else {
            EndDash(ctx, w, w.stroke->dash_cap, unit);
            BeginDash(w, point, w.cap, unit);
        }
        const bool gapBegins = w.on;
        NextEntry(w);
        if (gapBegins) BeginGap(w, along + at);
    }
    w.left -= length - at;
    if (w.on && w.inDash) ExtendDash(ctx, w, to, unit);
    w.current = to;
    AddVertex(w, to, along + length);
}

Vector Bezier(Vector p0, Vector p1, Vector p2, Vector p3, float t) {
    const float u = 1 - t;
    const float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, e = t * t * t;
    return {a * p0.x + b * p1.x + c * p2.x + e * p3.x, a * p0.y + b * p1.y + c * p2.y + e * p3.y};
}

// A curve as short lines: about one per unit and a half of its control polygon.
void DashCurveTo(fz_context* ctx, DashWalk& w, Vector p1, Vector p2, Vector p3) {
    const Vector p0 = w.current;
    const float polygon = Distance(p0, p1) + Distance(p1, p2) + Distance(p2, p3);
    const int steps = static_cast<int>(std::fmin(std::fmax(polygon / 1.5f, 8.0f), 128.0f));
    for (int i = 1; i <= steps; ++i) DashLineTo(ctx, w, Bezier(p0, p1, p2, p3, float(i) / steps));
}

DashWalk& Walk(void* arg) { return *static_cast<DashWalk*>(arg); }

void WalkMoveTo(fz_context* ctx, void* arg, float x, float y) {
    DashMoveTo(ctx, Walk(arg), {x, y});
}

void WalkLineTo(fz_context* ctx, void* arg, float x, float y) {
    DashLineTo(ctx, Walk(arg), {x, y});
}

void WalkCurveTo(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2, float x3,
                 float y3) {
    DashCurveTo(ctx, Walk(arg), {x1, y1}, {x2, y2}, {x3, y3});
}

void WalkQuadTo(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2) {
    DashWalk& w = Walk(arg);
    const Vector p0 = w.current;
    DashCurveTo(ctx, w, {p0.x + 2 * (x1 - p0.x) / 3, p0.y + 2 * (y1 - p0.y) / 3},
                {x2 + 2 * (x1 - x2) / 3, y2 + 2 * (y1 - y2) / 3}, {x2, y2});
}

void WalkCurveToV(fz_context* ctx, void* arg, float x2, float y2, float x3, float y3) {
    DashWalk& w = Walk(arg);
    DashCurveTo(ctx, w, w.current, {x2, y2}, {x3, y3});
}

void WalkCurveToY(fz_context* ctx, void* arg, float x1, float y1, float x3, float y3) {
    DashCurveTo(ctx, Walk(arg), {x1, y1}, {x3, y3}, {x3, y3});
}

// The dashes run on along the closing line, and the subpath's last dash ends in the end cap.
void WalkClosePath(fz_context* ctx, void* arg) {
    DashWalk& w = Walk(arg);
    DashLineTo(ctx, w, w.subpathStart);
}

void WalkRectTo(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2) {
    DashWalk& w = Walk(arg);
    DashMoveTo(ctx, w, {x1, y1});
    DashLineTo(ctx, w, {x2, y1});
    DashLineTo(ctx, w, {x2, y2});
    DashLineTo(ctx, w, {x1, y2});
    DashLineTo(ctx, w, {x1, y1});
}

fz_path* NullIfEmpty(fz_context* ctx, fz_path* path) {
    if (!fz_is_empty_rect(fz_bound_path(ctx, path, nullptr, fz_identity))) return path;
    fz_drop_path(ctx, path);
    return nullptr;
}

}  // namespace

bool HasDashes(const fz_stroke_state* stroke) {
    return stroke && stroke->dash_len > 0 && PatternLength(stroke) >= kMinPatternLength;
}

DashedStroke CutIntoDashes(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke) {
    static const fz_path_walker walker = {WalkMoveTo, WalkLineTo,   WalkCurveTo,  WalkClosePath,
                                          WalkQuadTo, WalkCurveToV, WalkCurveToY, WalkRectTo};
    DashWalk walk;
    walk.stroke = stroke;
    walk.cap = stroke->start_cap;
    walk.middleAllowed = true;
    for (int i = 0; i < stroke->dash_len; ++i) {
        if (!(stroke->dash_list[i] > 0) || !std::isfinite(stroke->dash_list[i]))
            walk.middleAllowed = false;
    }
    const auto dropAll = [&] {
        fz_drop_path(ctx, walk.middles);
        fz_drop_path(ctx, walk.dash);
        fz_drop_path(ctx, walk.caps);
        for (fz_path* dashes : walk.dashes) fz_drop_path(ctx, dashes);
    };
    RunUndoingOnFailure(
        ctx,
        [&] {
            for (fz_path*& dashes : walk.dashes) dashes = fz_new_path(ctx);
            walk.caps = fz_new_path(ctx);
            walk.middles = fz_new_path(ctx);
            fz_walk_path(ctx, path, &walker, &walk);
            EndDash(ctx, walk, stroke->end_cap, {});
            if (walk.failed) fz_throw(ctx, FZ_ERROR_MEMORY, "malloc of dash vertices failed");
        },
        dropAll);
    fz_drop_path(ctx, walk.dash);
    DashedStroke result;
    for (int cap = 0; cap < kDashCapKinds; ++cap) {
        // The bounds of a lone horizontal dash are empty: whether a dash was drawn is known.
        if (walk.used[cap]) {
            result.dashes[cap] = walk.dashes[cap];
        } else {
            fz_drop_path(ctx, walk.dashes[cap]);
        }
    }
    result.caps = NullIfEmpty(ctx, walk.caps);
    if (walk.anyMiddle) {
        result.middles = walk.middles;
    } else {
        fz_drop_path(ctx, walk.middles);
    }
    result.middlePhase = walk.middlePhase;
    return result;
}

}  // namespace engine
