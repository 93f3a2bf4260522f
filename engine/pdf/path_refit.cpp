#include "engine/pdf/path_refit.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "engine/pdf/arc_fit.h"
#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

// Shorter runs are left as they are: too few bytes to win, and too few vertices to tell a
// curve from a polygon.
constexpr size_t kMinRunSegments = 8;
// A vertex turning more than this (radians, about 20 degrees) is a corner. Flattened arcs turn
// by one degree per segment on a circle, by up to the axis ratio times that on an ellipse.
constexpr double kCornerTurn = 0.35;
// Neighbouring segments whose lengths differ more than this factor meet at a corner: the
// vertices of a flattened arc are evenly spaced but for its last segment.
constexpr double kStepRatio = 3;
// Newton steps towards a closer fit are tried while the worst vertex is within this many
// tolerances; beyond, the run is split.
constexpr double kReparameteriseWithin = 100;
constexpr int kReparameterisations = 8;

using Point = PlanePoint;

Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point operator*(Point a, double k) { return {a.x * k, a.y * k}; }
double Dot(Point a, Point b) { return a.x * b.x + a.y * b.y; }
double Cross(Point a, Point b) { return a.x * b.y - a.y * b.x; }
double Length(Point a) { return std::sqrt(Dot(a, a)); }

Point Unit(Point a) {
    const double length = Length(a);
    return length > 0 ? a * (1 / length) : Point{};
}

enum class Op { Move, Line, Curve, Close };

struct Element {
    Op op;
    Point p[3];
    bool fitted = false;  // made here, not read from the path
};

// --- Reading the path ----------------------------------------------------------------------

// The walker's callbacks run inside the library: nothing may be thrown from them.
struct Reading {
    std::vector<Element> elements;
    bool failed = false;
};

void Add(void* arg, const Element& element) noexcept {
    Reading& reading = *static_cast<Reading*>(arg);
    try {
        reading.elements.push_back(element);
    } catch (...) {
        reading.failed = true;
    }
}
void MoveTo(fz_context*, void* arg, float x, float y) { Add(arg, {Op::Move, {{x, y}}}); }
void LineTo(fz_context*, void* arg, float x, float y) { Add(arg, {Op::Line, {{x, y}}}); }
void CurveTo(fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
    Add(arg, {Op::Curve, {{x1, y1}, {x2, y2}, {x3, y3}}});
}
void ClosePath(fz_context*, void* arg) { Add(arg, {Op::Close, {}}); }

// --- Fitting (least squares with fixed end tangents, split at the worst vertex) ------------

struct Cubic {
    Point p[4];
};

Point At(const Cubic& c, double t) {
    const double s = 1 - t;
    return c.p[0] * (s * s * s) + c.p[1] * (3 * s * s * t) + c.p[2] * (3 * s * t * t) +
           c.p[3] * (t * t * t);
}

Point FirstDerivative(const Cubic& c, double t) {
    const double s = 1 - t;
    return (c.p[1] - c.p[0]) * (3 * s * s) + (c.p[2] - c.p[1]) * (6 * s * t) +
           (c.p[3] - c.p[2]) * (3 * t * t);
}

Point SecondDerivative(const Cubic& c, double t) {
    return (c.p[2] - c.p[1] * 2 + c.p[0]) * (6 * (1 - t)) +
           (c.p[3] - c.p[2] * 2 + c.p[1]) * (6 * t);
}

class RunFitter {
  public:
    RunFitter(const std::vector<Point>& points, double tolerance)
        : points_(points), tolerance2_(tolerance * tolerance) {}

    // Fits points[first..last]; start and end are the unit tangents leaving first and
    // entering last (the latter pointing backwards).
    void Fit(size_t first, size_t last, Point start, Point end) {
        if (last - first < 3) {  // a curve through so few vertices could bulge between them
            for (size_t i = first + 1; i <= last; ++i) lines_.push_back({Op::Line, {points_[i]}});
            return;
        }
        std::vector<double> u = ChordLengths(first, last);
        Cubic cubic = Generate(first, last, u, start, end);
        size_t worst = 0;
        double error = MaxError(first, last, cubic, u, worst);
        for (int i = 0; error > tolerance2_ &&
                        error < kReparameteriseWithin * kReparameteriseWithin * tolerance2_ &&
                        i < kReparameterisations;
             ++i) {
            Reparameterise(first, cubic, u);
            cubic = Generate(first, last, u, start, end);
            error = MaxError(first, last, cubic, u, worst);
        }
        if (error <= tolerance2_) {
            lines_.push_back({Op::Curve, {cubic.p[1], cubic.p[2], cubic.p[3]}, true});
            return;
        }
        const Point middle = CentreTangent(worst);
        Fit(first, worst, start, middle * -1);
        Fit(worst, last, middle, end);
    }

    // The tangent leaving i, from the parabola through it and its next two vertices (or,
    // with backwards, entering i from its previous two, pointing backwards).
    Point EndTangent(size_t i, bool backwards) const {
        const Point a = points_[i];
        const Point b = backwards ? points_[i - 1] : points_[i + 1];
        const Point c = backwards ? points_[i - 2] : points_[i + 2];
        const double h1 = Length(b - a);
        const double h2 = Length(c - b);
        if (!(h1 > 0) || !(h2 > 0)) return Unit(b - a);
        const Point d = a * (-(2 * h1 + h2) / (h1 * (h1 + h2))) + b * ((h1 + h2) / (h1 * h2)) +
                        c * (-h1 / (h2 * (h1 + h2)));
        const Point unit = Unit(d);
        return Length(unit) > 0 ? unit : Unit(b - a);
    }

    std::vector<Element>& Output() { return lines_; }

  private:
    // The forward tangent at an inner vertex, from the parabola through it and its neighbours.
    Point CentreTangent(size_t i) const {
        const Point a = points_[i - 1];
        const Point b = points_[i];
        const Point c = points_[i + 1];
        const double h1 = Length(b - a);
        const double h2 = Length(c - b);
        if (!(h1 > 0) || !(h2 > 0)) return Unit(c - a);
        const Point d = a * (-h2 / (h1 * (h1 + h2))) + b * ((h2 - h1) / (h1 * h2)) +
                        c * (h1 / (h2 * (h1 + h2)));
        const Point unit = Unit(d);
        return Length(unit) > 0 ? unit : Unit(c - a);
    }

    std::vector<double> ChordLengths(size_t first, size_t last) const {
        std::vector<double> u(last - first + 1, 0.0);
        for (size_t i = first + 1; i <= last; ++i)
            u[i - first] = u[i - first - 1] + Length(points_[i] - points_[i - 1]);
        const double total = u.back();
        for (double& value : u) value = total > 0 ? value / total : 0;
        return u;
    }

    Cubic Generate(size_t first, size_t last, const std::vector<double>& u, Point start,
                   Point end) const {
        const Point p0 = points_[first];
        const Point p3 = points_[last];
        double c00 = 0, c01 = 0, c11 = 0, x0 = 0, x1 = 0;
        for (size_t i = first; i <= last; ++i) {
            const double t = u[i - first];
            const double s = 1 - t;
            const double b0 = s * s * s, b1 = 3 * s * s * t, b2 = 3 * s * t * t, b3 = t * t * t;
            const Point a0 = start * b1;
            const Point a1 = end * b2;
            c00 += Dot(a0, a0);
            c01 += Dot(a0, a1);
            c11 += Dot(a1, a1);
            const Point rest = points_[i] - (p0 * (b0 + b1) + p3 * (b2 + b3));
            x0 += Dot(a0, rest);
            x1 += Dot(a1, rest);
        }
        const double det = c00 * c11 - c01 * c01;
        double left = 0, right = 0;
        if (std::fabs(det) > 1e-12 * c00 * c11) {
            left = (x0 * c11 - x1 * c01) / det;
            right = (c00 * x1 - c01 * x0) / det;
        }
        const double chord = Length(p3 - p0);
        if (!(left > 1e-6 * chord) || !(right > 1e-6 * chord)) left = right = chord / 3;
        return {{p0, p0 + start * left, p3 + end * right, p3}};
    }

    // The largest squared distance of an inner vertex from its point on cubic; worst is set
    // to that vertex.
    double MaxError(size_t first, size_t last, const Cubic& cubic, const std::vector<double>& u,
                    size_t& worst) const {
        double max = 0;
        worst = (first + last) / 2;
        for (size_t i = first + 1; i < last; ++i) {
            const Point d = At(cubic, u[i - first]) - points_[i];
            const double error = Dot(d, d);
            if (error > max) {
                max = error;
                worst = i;
            }
        }
        return max;
    }

    // One Newton step per vertex towards the parameter of its nearest point on cubic.
    void Reparameterise(size_t first, const Cubic& cubic, std::vector<double>& u) const {
        for (size_t k = 1; k + 1 < u.size(); ++k) {
            const Point d = At(cubic, u[k]) - points_[first + k];
            const Point d1 = FirstDerivative(cubic, u[k]);
            const Point d2 = SecondDerivative(cubic, u[k]);
            const double denominator = Dot(d1, d1) + Dot(d, d2);
            if (std::fabs(denominator) > 1e-12) u[k] -= Dot(d, d1) / denominator;
        }
    }

    const std::vector<Point>& points_;
    double tolerance2_;
    std::vector<Element> lines_;
};

// True when the vertex between segments a and b is a corner. A run cut out of a flattened
// curve (a dash) begins and ends with a shorter segment: with first (a is the run's first) or
// last (b is its last), a shorter a or b alone makes no corner.
bool IsCorner(Point a, Point b, bool first, bool last) {
    const double la = Length(a);
    const double lb = Length(b);
    if (!(la > 0) || !(lb > 0)) return true;
    if ((la > kStepRatio * lb && !last) || (lb > kStepRatio * la && !first)) return true;
    return std::fabs(std::atan2(Cross(a, b), Dot(a, b))) > kCornerTurn;
}

// Appends run[first..last] as curves where that is shorter, as lines otherwise. Returns true
// when some curve was made.
bool FitSpan(const std::vector<Point>& run, size_t first, size_t last, double tolerance,
             std::vector<Element>& out) {
    RunFitter fitter(run, tolerance);
    if (last - first >= kMinRunSegments) {
        fitter.Fit(first, last, fitter.EndTangent(first, false), fitter.EndTangent(last, true));
    }
    std::vector<Element>& fitted = fitter.Output();
    size_t numbers = 0;
    for (const Element& element : fitted) numbers += element.op == Op::Curve ? 3 : 1;
    // A curve takes three times the numbers of a line.
    if (!fitted.empty() && numbers < last - first) {
        out.insert(out.end(), fitted.begin(), fitted.end());
        return true;
    }
    for (size_t k = first + 1; k <= last; ++k) out.push_back({Op::Line, {run[k]}});
    return false;
}

// The curves of the elliptic arc run[first..last], if it is one and they are fewer numbers.
std::vector<Point> ArcCurves(const std::vector<Point>& run, size_t first, size_t last,
                             double tolerance) {
    std::vector<Point> curves = EllipticArcCurves(&run[first], last - first + 1, tolerance);
    if (curves.size() >= last - first) curves.clear();
    return curves;
}

// Writes the smooth piece run[first..last]: its elliptic arcs (each as long as it goes) as arc
// curves, what lies between them refitted. Returns true when some curve was made.
bool FitSmoothPiece(const std::vector<Point>& run, size_t first, size_t last, double tolerance,
                    std::vector<Element>& out) {
    bool refitted = false;
    size_t written = first;
    for (size_t k = first; k + kMinRunSegments <= last;) {
        std::vector<Point> arc = ArcCurves(run, k, k + kMinRunSegments, tolerance);
        if (arc.empty()) {
            ++k;
            continue;
        }
        // The longest arc from k; an arc's shorter beginnings are arcs too.
        size_t end = k + kMinRunSegments;
        if (std::vector<Point> whole = ArcCurves(run, k, last, tolerance); !whole.empty()) {
            end = last;
            arc = std::move(whole);
        } else {
            for (size_t beyond = last; beyond - end > 1;) {
                const size_t middle = end + (beyond - end) / 2;
                if (std::vector<Point> longer = ArcCurves(run, k, middle, tolerance);
                    !longer.empty()) {
                    end = middle;
                    arc = std::move(longer);
                } else {
                    beyond = middle;
                }
            }
        }
        if (k > written) refitted = FitSpan(run, written, k, tolerance, out) || refitted;
        for (size_t c = 0; c + 2 < arc.size(); c += 3) {
            out.push_back({Op::Curve, {arc[c], arc[c + 1], arc[c + 2]}, true});
        }
        refitted = true;
        written = k = end;
    }
    if (last > written) refitted = FitSpan(run, written, last, tolerance, out) || refitted;
    return refitted;
}

// Replaces run (the current point, then the end of each line) by curves where that is
// shorter; appends the result to out. Returns true when some curve was made.
bool RefitRun(const std::vector<Point>& run, double tolerance, std::vector<Element>& out) {
    bool refitted = false;
    size_t start = 0;
    for (size_t i = 1; i < run.size(); ++i) {
        const bool end = i + 1 == run.size() || IsCorner(run[i] - run[i - 1], run[i + 1] - run[i],
                                                         i == 1, i + 2 == run.size());
        if (!end) continue;
        // The piece run[start..i] turns smoothly throughout.
        refitted = FitSmoothPiece(run, start, i, tolerance, out) || refitted;
        start = i;
    }
    return refitted;
}

// RefitFlattenedCurves without its checks; throws only C++ exceptions.
fz_path* Refit(fz_context* ctx, const fz_path* path, float tolerance, PathOrigin origin) {
    Reading reading;
    fz_path_walker walker = {};
    walker.moveto = MoveTo;
    walker.lineto = LineTo;
    walker.curveto = CurveTo;
    walker.closepath = ClosePath;
    Reading* into = &reading;
    const fz_path_walker* walk = &walker;
    if (!RunGuarded(ctx, [&] { fz_walk_path(ctx, path, walk, into); }).empty() || reading.failed)
        return nullptr;
    const std::vector<Element>& elements = reading.elements;

    // The numbers of what is fitted here are rounded to a power of ten within the tolerance;
    // what that moves a point (half the step's diagonal at most) leaves the rest of the
    // tolerance to the fitting. What is kept from a document's path moves less: it was drawn as it is.
    const double step = std::pow(10.0, std::floor(std::log10(tolerance)));
    const double keptStep = std::pow(10.0, std::floor(std::log10(tolerance / 100)));
    const double fitTolerance = tolerance - step * 0.7072;
    std::vector<Element> result;
    bool changed = false;
    Point current, subpathStart;
    for (size_t i = 0; i < elements.size();) {
        const Element& element = elements[i];
        if (element.op != Op::Line) {
            result.push_back(element);
            if (element.op == Op::Move) subpathStart = element.p[0];
            current = element.op == Op::Close  ? subpathStart
                      : element.op == Op::Move ? element.p[0]
                                               : element.p[2];
            ++i;
            continue;
        }
        std::vector<Point> run{current};
        for (; i < elements.size() && elements[i].op == Op::Line; ++i) {
            run.push_back(elements[i].p[0]);
        }
        if (run.size() - 1 >= kMinRunSegments) {
            changed = RefitRun(run, fitTolerance, result) || changed;
        } else {
            for (size_t k = 1; k < run.size(); ++k) result.push_back({Op::Line, {run[k]}});
        }
        current = run.back();
    }

    for (Element& element : result) {
        const double unit = element.fitted || origin == PathOrigin::Engine ? step : keptStep;
        for (Point& p : element.p) {
            const Point rounded{std::round(p.x / unit) * unit, std::round(p.y / unit) * unit};
            // Compared as the path holds them: what stays the same float is written the same.
            changed = changed || static_cast<float>(rounded.x) != static_cast<float>(p.x) ||
                      static_cast<float>(rounded.y) != static_cast<float>(p.y);
            p = rounded;
        }
    }
    if (!changed) return nullptr;
    fz_path* out = nullptr;
    const Element* e = result.data();
    const size_t count = result.size();
    const std::string failed = RunGuarded(ctx, [&] {
        out = fz_new_path(ctx);
        for (size_t i = 0; i < count; ++i) {
            const auto x = [&](int k) { return static_cast<float>(e[i].p[k].x); };
            const auto y = [&](int k) { return static_cast<float>(e[i].p[k].y); };
            switch (e[i].op) {
                case Op::Move:
                    fz_moveto(ctx, out, x(0), y(0));
                    break;
                case Op::Line:
                    fz_lineto(ctx, out, x(0), y(0));
                    break;
                case Op::Curve:
                    fz_curveto(ctx, out, x(0), y(0), x(1), y(1), x(2), y(2));
                    break;
                case Op::Close:
                    fz_closepath(ctx, out);
                    break;
            }
        }
    });
    if (!failed.empty()) {
        fz_drop_path(ctx, out);
        return nullptr;
    }
    return out;
}

}  // namespace

fz_path* RefitFlattenedCurves(fz_context* ctx, const fz_path* path, float tolerance,
                              PathOrigin origin) noexcept {
    if (!path || !(tolerance > 0) || !std::isfinite(tolerance)) return nullptr;
    try {
        return Refit(ctx, path, tolerance, origin);
    } catch (...) {
        return nullptr;  // short of memory: the path is written as it is
    }
}

}  // namespace engine
