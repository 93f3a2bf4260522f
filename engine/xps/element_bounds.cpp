#include "engine/xps/element_bounds.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/xps/xps_package.h"

namespace engine {
namespace {

// A rectangle grown point by point or box by box; empty until something is added.
struct Extent {
    bool any = false;
    fz_rect rect = {0, 0, 0, 0};

    void Add(fz_point p) {
        rect = any ? fz_include_point_in_rect(rect, p) : fz_make_rect(p.x, p.y, p.x, p.y);
        any = true;
    }
    void Add(fz_rect box) {
        if (fz_is_empty_rect(box)) return;
        rect = any ? fz_union_rect(rect, box) : box;
        any = true;
    }
    fz_rect Result() const { return any ? rect : fz_empty_rect; }
};

fz_matrix ParseMatrix(const char* text) {
    float m[6];
    const char* at = text;
    for (float& value : m) {
        while (at && (*at == ',' || std::isspace(static_cast<unsigned char>(*at)))) ++at;
        char* end = nullptr;
        value = at ? std::strtof(at, &end) : 0;
        if (!at || end == at) return fz_identity;
        at = end;
    }
    return fz_make_matrix(m[0], m[1], m[2], m[3], m[4], m[5]);
}

// Reads the abbreviated path geometry ("F1 M 0,0 L 10,0 C ... Z") and grows bounds by every
// point it reaches or pulls towards.
class GeometryBounds {
  public:
    GeometryBounds(fz_matrix transform, Extent& bounds) : transform_(transform), bounds_(bounds) {}

    void Read(const char* data) {
        at_ = data;
        char command = 'M';
        while (Skip()) {
            if (std::isalpha(static_cast<unsigned char>(*at_))) command = *at_++;
            if (!Command(command)) return;
            // After a move, more pairs are lines.
            if (command == 'M') command = 'L';
            if (command == 'm') command = 'l';
        }
    }

  private:
    bool Skip() {
        while (*at_ && (*at_ == ',' || std::isspace(static_cast<unsigned char>(*at_)))) ++at_;
        return *at_ != '\0';
    }

    bool Number(double& value) {
        if (!Skip()) return false;
        char* end = nullptr;
        value = std::strtod(at_, &end);
        if (end == at_) return false;
        at_ = end;
        return true;
    }

    bool Point(bool relative, double& x, double& y) {
        if (!Number(x) || !Number(y)) return false;
        if (relative) {
            x += x_;
            y += y_;
        }
        return true;
    }

    void Add(double x, double y) {
        fz_point p = fz_transform_point(fz_make_point(static_cast<float>(x), static_cast<float>(y)),
                                        transform_);
        bounds_.Add(p);
    }

    void AddAround(double x, double y, double r) {
        Add(x - r, y - r);
        Add(x + r, y - r);
        Add(x - r, y + r);
        Add(x + r, y + r);
    }

    // One command with its numbers; false at the end of the data or on a bad number.
    bool Command(char command) {
        const bool relative = std::islower(static_cast<unsigned char>(command));
        double x = 0, y = 0, v = 0;
        switch (std::toupper(static_cast<unsigned char>(command))) {
            case 'F':
                return Number(v);
            case 'Z':
                return true;
            case 'H':
                if (!Number(v)) return false;
                x_ = relative ? x_ + v : v;
                Add(x_, y_);
                return true;
            case 'V':
                if (!Number(v)) return false;
                y_ = relative ? y_ + v : v;
                Add(x_, y_);
                return true;
            case 'M':
            case 'L':
                if (!Point(relative, x, y)) return false;
                break;
            case 'Q':
            case 'S':
            case 'C': {
                int points = std::toupper(static_cast<unsigned char>(command)) == 'C' ? 3 : 2;
                for (int i = 0; i < points; ++i) {
                    if (!Point(relative, x, y)) return false;
                    Add(x, y);
                }
                break;
            }
            case 'A': {
                double rx = 0, ry = 0, rotation = 0, large = 0, sweep = 0;
                if (!Number(rx) || !Number(ry) || !Number(rotation) || !Number(large) ||
                    !Number(sweep) || !Point(relative, x, y)) {
                    return false;
                }
                // The arc stays within its radius of both ends.
                const double r = std::max(std::fabs(rx), std::fabs(ry));
                AddAround(x_, y_, r);
                AddAround(x, y, r);
                break;
            }
            default:
                return false;
        }
        x_ = x;
        y_ = y;
        Add(x, y);
        return true;
    }

    fz_matrix transform_;
    Extent& bounds_;
    const char* at_ = "";
    double x_ = 0, y_ = 0;
};

fz_rect PathBounds(fz_xml* path, fz_matrix transform) {
    Extent extent;
    if (const char* data = fz_xml_att(path, "Data")) {
        if (data[0] != '{') GeometryBounds(transform, extent).Read(data);
    }
    // Geometry written out as PathGeometry / PathFigure elements: their points.
    for (fz_xml* child = fz_xml_down(path); child; child = fz_xml_next(child)) {
        if (!fz_xml_tag(child) || LocalName(child) != "Path.Data") continue;
        for (fz_xml* geometry = fz_xml_down(child); geometry; geometry = fz_xml_next(geometry)) {
            if (!fz_xml_tag(geometry)) continue;
            if (const char* figures = fz_xml_att(geometry, "Figures")) {
                GeometryBounds(transform, extent).Read(figures);
            }
            for (fz_xml* figure = fz_xml_down(geometry); figure; figure = fz_xml_next(figure)) {
                if (!fz_xml_tag(figure)) continue;
                std::string points =
                    fz_xml_att(figure, "StartPoint") ? fz_xml_att(figure, "StartPoint") : "";
                for (fz_xml* segment = fz_xml_down(figure); segment;
                     segment = fz_xml_next(segment)) {
                    if (const char* more =
                            fz_xml_tag(segment) ? fz_xml_att(segment, "Points") : nullptr) {
                        points += std::string(" ") + more;
                    }
                    if (const char* end =
                            fz_xml_tag(segment) ? fz_xml_att(segment, "Point") : nullptr) {
                        points += std::string(" ") + end;
                    }
                }
                if (!points.empty())
                    GeometryBounds(transform, extent).Read(("M " + points).c_str());
            }
        }
    }
    fz_rect bounds = extent.Result();
    if (!fz_is_empty_rect(bounds) && fz_xml_att(path, "Stroke")) {
        const char* thickness = fz_xml_att(path, "StrokeThickness");
        float half = (thickness ? std::strtof(thickness, nullptr) : 1.0f) / 2;
        const float scale = fz_matrix_expansion(transform);
        bounds = fz_expand_rect(bounds, half * scale);
    }
    return bounds;
}

// Number of characters a Glyphs element shows: its Unicode text, or its glyph indices.
int GlyphCount(fz_xml* glyphs) {
    int count = 0;
    if (const char* text = fz_xml_att(glyphs, "UnicodeString")) {
        if (text[0] == '{' && text[1] == '}') text += 2;
        for (const char* c = text; *c; ++c) {
            if ((static_cast<unsigned char>(*c) & 0xC0) != 0x80) ++count;
        }
    }
    if (count == 0) {
        if (const char* indices = fz_xml_att(glyphs, "Indices")) {
            count = 1;
            for (const char* c = indices; *c; ++c) count += *c == ';';
        }
    }
    return count;
}

fz_rect GlyphsBounds(fz_xml* glyphs, fz_matrix transform) {
    const char* xText = fz_xml_att(glyphs, "OriginX");
    const char* yText = fz_xml_att(glyphs, "OriginY");
    const char* sizeText = fz_xml_att(glyphs, "FontRenderingEmSize");
    const int count = GlyphCount(glyphs);
    if (!xText || !yText || !sizeText || count == 0) return fz_empty_rect;
    const float x = std::strtof(xText, nullptr);
    const float y = std::strtof(yText, nullptr);
    const float size = std::strtof(sizeText, nullptr);
    // An average advance of two thirds of the em; right-to-left text runs to the left.
    const float width = size * 2 / 3 * static_cast<float>(count);
    const char* bidi = fz_xml_att(glyphs, "BidiLevel");
    const bool leftwards = bidi && std::atoi(bidi) % 2 == 1;
    fz_rect local =
        fz_make_rect(leftwards ? x - width : x, y - size, leftwards ? x : x + width, y + size / 4);
    return fz_transform_rect(local, transform);
}

}  // namespace

fz_matrix ElementTransform(fz_xml* element) {
    if (const char* text = fz_xml_att(element, "RenderTransform")) {
        return text[0] == '{' ? fz_identity : ParseMatrix(text);
    }
    const std::string property = LocalName(element) + ".RenderTransform";
    for (fz_xml* child = fz_xml_down(element); child; child = fz_xml_next(child)) {
        if (!fz_xml_tag(child) || LocalName(child) != property) continue;
        for (fz_xml* inner = fz_xml_down(child); inner; inner = fz_xml_next(inner)) {
            if (fz_xml_tag(inner) && LocalName(inner) == "MatrixTransform") {
                const char* matrix = fz_xml_att(inner, "Matrix");
                return matrix ? ParseMatrix(matrix) : fz_identity;
            }
        }
    }
    return fz_identity;
}

fz_rect ElementBounds(fz_xml* element, fz_matrix transform) {
    // A Canvas covers what its Paths and Glyphs cover, however deep; walked with a stack of its
    // own, so that nesting costs no call depth.
    struct Level {
        fz_xml* next;  // the next element of this level to measure
        fz_matrix transform;
    };
    Extent extent;
    std::vector<Level> levels{{element, transform}};
    bool top = true;
    while (!levels.empty()) {
        Level& level = levels.back();
        fz_xml* at = level.next;
        if (!at) {
            levels.pop_back();
            continue;
        }
        // The element itself is measured alone; below it, its siblings follow.
        level.next = top ? nullptr : fz_xml_next(at);
        top = false;
        if (!fz_xml_tag(at)) continue;
        const std::string kind = LocalName(at);
        const fz_matrix own = fz_concat(ElementTransform(at), level.transform);
        if (kind == "Path") {
            extent.Add(PathBounds(at, own));
        } else if (kind == "Glyphs") {
            extent.Add(GlyphsBounds(at, own));
        } else if (kind == "Canvas" && static_cast<int>(levels.size()) < kMaxMarkupDepth) {
            levels.push_back({fz_xml_down(at), own});
        }
    }
    return extent.Result();
}

}  // namespace engine
