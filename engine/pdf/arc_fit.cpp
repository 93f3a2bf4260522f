#include "engine/pdf/arc_fit.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace engine {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Flattened arcs step by a degree; a polygon whose corners turn much more than that is kept a
// polygon even when its corners lie on an ellipse.
constexpr double kMaxStep = 0.06;
// Every step but the first and the last is within these factors of the middle one: an arc's
// last step is cut short (by up to a half), and arcs of one ellipse may follow each other.
constexpr double kShortestStep = 0.4;
constexpr double kLongestStep = 1.6;
// Arcs are cut into pieces of at most a quarter turn.
constexpr double kLongestPiece = kPi / 2;
// What the sampling of a piece's distance from its circle may miss.
constexpr double kErrorMargin = 1.05;

using Row = std::array<double, 6>;  // five unknowns and the right-hand side

// The least-squares solution of the rows (Householder reflections, which keep the precision
// that normal equations would lose on a short arc). False when the columns are dependent.
bool LeastSquares(std::vector<Row>& rows, double (&x)[5]) {
    const size_t n = rows.size();
    double largest = 0;
    for (size_t j = 0; j < 5; ++j) {
        double norm = 0;
        for (size_t i = j; i < n; ++i) norm += rows[i][j] * rows[i][j];
        norm = std::sqrt(norm);
        if (!(norm > 0)) return false;
        const double alpha = rows[j][j] > 0 ? -norm : norm;
        std::vector<double> v(n - j);
        for (size_t i = j; i < n; ++i) v[i - j] = rows[i][j];
        v[0] -= alpha;
        double v2 = 0;
        for (double value : v) v2 += value * value;
        if (!(v2 > 0)) return false;
        for (size_t k = j; k < 6; ++k) {
            double s = 0;
            for (size_t i = j; i < n; ++i) s += v[i - j] * rows[i][k];
            s *= 2 / v2;
            for (size_t i = j; i < n; ++i) rows[i][k] -= s * v[i - j];
        }
        largest = std::max(largest, std::fabs(rows[j][j]));
    }
    for (size_t j = 5; j-- > 0;) {
        if (!(std::fabs(rows[j][j]) > 1e-12 * largest)) return false;
        double s = rows[j][5];
        for (size_t k = j + 1; k < 5; ++k) s -= rows[j][k] * x[k];
        x[j] = s / rows[j][j];
    }
    return true;
}

// p = centre + u cos t + v sin t, with u and v perpendicular.
struct Ellipse {
    PlanePoint centre;
    PlanePoint u;
    PlanePoint v;

    PlanePoint At(double t) const {
        return {centre.x + u.x * std::cos(t) + v.x * std::sin(t),
                centre.y + u.y * std::cos(t) + v.y * std::sin(t)};
    }
    PlanePoint Tangent(double t) const {
        return {-u.x * std::sin(t) + v.x * std::cos(t), -u.y * std::sin(t) + v.y * std::cos(t)};
    }
    // The angle whose point lies on the ray from the centre through p.
    double AngleOf(PlanePoint p) const {
        const double dx = p.x - centre.x, dy = p.y - centre.y;
        return std::atan2((dx * v.x + dy * v.y) / (v.x * v.x + v.y * v.y),
                          (dx * u.x + dy * u.y) / (u.x * u.x + u.y * u.y));
    }
};

// The ellipse of the conic that fits the points best (algebraically), if that conic is one.
bool FitEllipse(const PlanePoint* points, size_t count, Ellipse& ellipse) {
    // Centred and scaled to a unit spread, so that the squares stay well within precision.
    PlanePoint mean;
    for (size_t i = 0; i < count; ++i) {
        mean.x += points[i].x / count;
        mean.y += points[i].y / count;
    }
    double spread = 0;
    for (size_t i = 0; i < count; ++i) {
        spread += std::pow(points[i].x - mean.x, 2) + std::pow(points[i].y - mean.y, 2);
    }
    spread = std::sqrt(spread / count);
    if (!(spread > 0) || !std::isfinite(spread)) return false;
    // a x² + b xy + c y² + d x + e y = 1: the conic misses only curves through the mean,
    // which an arc's vertices, all on the outside of their hull, never are.
    std::vector<Row> rows(count);
    for (size_t i = 0; i < count; ++i) {
        const double x = (points[i].x - mean.x) / spread, y = (points[i].y - mean.y) / spread;
        rows[i] = {x * x, x * y, y * y, x, y, 1};
    }
    double k[5];
    if (!LeastSquares(rows, k)) return false;
    const double a = k[0], b = k[1], c = k[2], d = k[3], e = k[4];
    const double det = 4 * a * c - b * b;
    if (!(det > 0)) return false;
    const double x0 = (b * e - 2 * c * d) / det;
    const double y0 = (b * d - 2 * a * e) / det;
    const double level = 1 - (a * x0 * x0 + b * x0 * y0 + c * y0 * y0 + d * x0 + e * y0);
    const double phi = 0.5 * std::atan2(b, a - c);
    const double cs = std::cos(phi), sn = std::sin(phi);
    const double l1 = a * cs * cs + b * cs * sn + c * sn * sn;
    const double l2 = a * sn * sn - b * cs * sn + c * cs * cs;
    if (!(level / l1 > 0) || !(level / l2 > 0)) return false;
    const double r1 = std::sqrt(level / l1) * spread;
    const double r2 = std::sqrt(level / l2) * spread;
    ellipse = {{mean.x + x0 * spread, mean.y + y0 * spread}, {cs * r1, sn * r1}, {-sn * r2, cs * r2}};
    return std::isfinite(ellipse.centre.x) && std::isfinite(ellipse.centre.y) &&
           std::isfinite(r1) && std::isfinite(r2);
}

double Distance(PlanePoint a, PlanePoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

// The cubic from angle 0 to angle (above 0) on the circle of radius 1 whose handles, tangent to
// the circle, are handle long: how far it strays outside the circle and inside it.
struct Stray {
    double outside;
    double inside;
};

Stray CircleStray(double angle, double handle) {
    const double c = std::cos(angle), s = std::sin(angle);
    const PlanePoint p[4] = {{1, 0}, {1, handle}, {c + handle * s, s - handle * c}, {c, s}};
    Stray stray{0, 0};
    constexpr int kSamples = 64;
    for (int i = 1; i < kSamples; ++i) {
        const double t = static_cast<double>(i) / kSamples, u = 1 - t;
        const double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
        const double x = b0 * p[0].x + b1 * p[1].x + b2 * p[2].x + b3 * p[3].x;
        const double y = b0 * p[0].y + b1 * p[1].y + b2 * p[2].y + b3 * p[3].y;
        const double r = std::hypot(x, y) - 1;
        stray.outside = std::max(stray.outside, r);
        stray.inside = std::max(stray.inside, -r);
    }
    return stray;
}

// The handle length (for a circle of radius 1) that strays as far inside the circle as outside
// it, which is less than the usual 4/3 tan(angle / 4) that meets the circle in the middle and
// strays outside only; and that distance.
struct Handle {
    double length;
    double error;
};

Handle BalancedHandle(double angle) {
    double high = 4.0 / 3 * std::tan(angle / 4);
    double low = 0.9 * high;
    for (int i = 0; i < 40; ++i) {
        const double middle = (low + high) / 2;
        const Stray stray = CircleStray(angle, middle);
        (stray.outside > stray.inside ? high : low) = middle;
    }
    const Stray stray = CircleStray(angle, high);
    return {high, std::max(stray.outside, stray.inside) * kErrorMargin};
}

}  // namespace

std::vector<PlanePoint> EllipticArcCurves(const PlanePoint* points, size_t count,
                                          double tolerance) {
    std::vector<PlanePoint> curves;
    if (count < 7 || !(tolerance > 0)) return curves;
    // The ends may lie anywhere in their step, on a chord rather than on the ellipse: the
    // fit leaves them out, the test below does not.
    Ellipse ellipse;
    if (!FitEllipse(points + 1, count - 2, ellipse)) return curves;

    // Each vertex is measured against the point of its own angle, which is never nearer than
    // the ellipse's nearest point: the test is stricter than the distance.
    std::vector<double> angles(count);
    std::vector<double> steps(count - 1);
    double farthest = 0;
    for (size_t i = 0; i < count; ++i) {
        double t = ellipse.AngleOf(points[i]);
        farthest = std::max(farthest, Distance(points[i], ellipse.At(t)));
        if (farthest > tolerance / 2) return curves;
        if (i > 0) {
            double step = std::remainder(t - angles[i - 1], 2 * kPi);
            t = angles[i - 1] + step;
            steps[i - 1] = std::fabs(step);
            if (i > 1 && step * (angles[1] - angles[0]) <= 0) return curves;
        }
        angles[i] = t;
    }
    std::vector<double> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double typical = sorted[sorted.size() / 2];
    if (!(typical > 0) || typical > kMaxStep) return curves;
    for (size_t i = 0; i < steps.size(); ++i) {
        // The ends may be cut anywhere in a step (a dash's ends are).
        const bool end = i == 0 || i + 1 == steps.size();
        if ((!end && steps[i] < kShortestStep * typical) || steps[i] > kLongestStep * typical)
            return curves;
    }

    // As few pieces as stay within what the farthest vertex leaves of the tolerance: the
    // ellipse strays from the circle it is the image of by its larger radius at most.
    const double radius = std::max(std::hypot(ellipse.u.x, ellipse.u.y),
                                   std::hypot(ellipse.v.x, ellipse.v.y));
    const double sweep = angles.back() - angles.front();
    size_t pieces = static_cast<size_t>(std::ceil(std::fabs(sweep) / kLongestPiece));
    Handle balanced{};
    for (;; ++pieces) {
        if (pieces == 0 || 3 * pieces >= count) return curves;
        balanced = BalancedHandle(std::fabs(sweep) / pieces);
        if (balanced.error * radius <= tolerance - farthest) break;
    }
    const double angle = sweep / pieces;
    const double handle = std::copysign(balanced.length, sweep);
    curves.reserve(3 * pieces);
    for (size_t k = 0; k < pieces; ++k) {
        const double t0 = angles.front() + angle * k;
        const double t1 = k + 1 == pieces ? angles.back() : t0 + angle;
        const PlanePoint p0 = k == 0 ? points[0] : ellipse.At(t0);
        const PlanePoint p3 = k + 1 == pieces ? points[count - 1] : ellipse.At(t1);
        const PlanePoint d0 = ellipse.Tangent(t0), d1 = ellipse.Tangent(t1);
        curves.push_back({p0.x + d0.x * handle, p0.y + d0.y * handle});
        curves.push_back({p3.x - d1.x * handle, p3.y - d1.y * handle});
        curves.push_back(p3);
    }
    return curves;
}

}  // namespace engine
