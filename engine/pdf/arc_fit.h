#pragma once
// Arcs reach the output device as lines whose ends step evenly in angle around an exact
// ellipse. Recognised as such, an arc is written as the standard cubic approximation of an
// elliptic arc, a few curves per turn, instead of a general fit to its vertices.

#include <cstddef>
#include <vector>

namespace engine {

struct PlanePoint {
    double x = 0;
    double y = 0;
};

// When points[0..count) lie within tolerance / 2 of one ellipse and step around it in one
// direction by small, nearly equal angles, the cubic curves that follow that ellipse from the
// first point to the last, each within tolerance of every point (the ellipse's distance from
// the farthest point and the curves' distance from the ellipse together): three points per
// curve (two control points and the end), the last end being the last point itself. Empty
// otherwise.
std::vector<PlanePoint> EllipticArcCurves(const PlanePoint* points, size_t count,
                                          double tolerance);

}  // namespace engine
