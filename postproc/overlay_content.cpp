#include "postproc/overlay_content.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "postproc/helvetica_metrics.h"

namespace mstar {
namespace {

// Distance kept between the text and the page edge at the edge anchors.
constexpr double kEdgeMarginPoints = 10.0;

std::string FormatNumber(double value) {
    if (std::fabs(value) < 0.00005) return "0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.4f", value);
    std::string text = buffer;
    // Trailing zeros only make the stream longer.
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

std::string FormatMatrix(double a, double b, double c, double d, double e, double f) {
    return FormatNumber(a) + " " + FormatNumber(b) + " " + FormatNumber(c) + " " + FormatNumber(d) +
           " " + FormatNumber(e) + " " + FormatNumber(f) + " cm\n";
}

// Maps the page as displayed (origin at its lower left corner, after /Rotate turned it clockwise)
// back to user space, so that the overlay reads upright on screen.
std::string DisplayToUserMatrix(const PageGeometry& page) {
    const double width = page.urx - page.llx;
    const double height = page.ury - page.lly;
    switch (page.rotate) {
        case 90:
            return FormatMatrix(0, 1, -1, 0, page.llx + width, page.lly);
        case 180:
            return FormatMatrix(-1, 0, 0, -1, page.llx + width, page.lly + height);
        case 270:
            return FormatMatrix(0, -1, 1, 0, page.llx, page.lly + height);
        default:
            return FormatMatrix(1, 0, 0, 1, page.llx, page.lly);
    }
}

struct Point {
    double x;
    double y;
};

// Centre of the unrotated text box at its anchor, in display coordinates.
Point AnchorCentre(OverlayAnchor anchor, double pageWidth, double pageHeight, double textWidth,
                   double textHeight) {
    const double left = kEdgeMarginPoints + textWidth / 2;
    const double right = pageWidth - kEdgeMarginPoints - textWidth / 2;
    const double top = pageHeight - kEdgeMarginPoints - textHeight / 2;
    const double bottom = kEdgeMarginPoints + textHeight / 2;
    const double midX = pageWidth / 2;
    const double midY = pageHeight / 2;
    switch (anchor) {
        case OverlayAnchor::TopLeft:
            return {left, top};
        case OverlayAnchor::TopCentre:
            return {midX, top};
        case OverlayAnchor::TopRight:
            return {right, top};
        case OverlayAnchor::MiddleLeft:
            return {left, midY};
        case OverlayAnchor::MiddleRight:
            return {right, midY};
        case OverlayAnchor::BottomLeft:
            return {left, bottom};
        case OverlayAnchor::BottomCentre:
            return {midX, bottom};
        case OverlayAnchor::BottomRight:
            return {right, bottom};
        case OverlayAnchor::Centre:
            break;
    }
    return {midX, midY};
}

}  // namespace

std::string PdfLiteralString(std::string_view bytes) {
    std::string literal = "(";
    for (char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '(' || c == ')' || c == '\\') {
            literal += '\\';
            literal += c;
        } else if (code < 0x20 || code >= 0x7F) {
            // Octal keeps the stream plain ASCII and survives any line-end conversion.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", code);
            literal += escaped;
        } else {
            literal += c;
        }
    }
    literal += ')';
    return literal;
}

std::string BuildOverlayContent(const OverlayRequest& request, const PageGeometry& page,
                                const std::string& fontResourceName) {
    const bool sideways = page.rotate == 90 || page.rotate == 270;
    const double pageWidth = sideways ? page.ury - page.lly : page.urx - page.llx;
    const double pageHeight = sideways ? page.urx - page.llx : page.ury - page.lly;

    const double size = request.fontSize;
    const double textWidth = HelveticaTextWidth(request.text, size);
    const double textHeight = (kHelveticaCapHeight - kHelveticaDescender) * size / 1000.0;
    Point centre = AnchorCentre(request.anchor, pageWidth, pageHeight, textWidth, textHeight);
    centre.x += request.offsetX;
    centre.y += request.offsetY;

    const double radians = request.rotationDegrees * std::numbers::pi / 180.0;
    const double cosine = std::cos(radians);
    const double sine = std::sin(radians);
    // Baseline so that the box from descender to cap height is centred on the anchor.
    const double baseline = -textHeight / 2 - kHelveticaDescender * size / 1000.0;

    std::string content = "q\n";
    content += DisplayToUserMatrix(page);
    content += FormatMatrix(cosine, sine, -sine, cosine, centre.x, centre.y);
    content += "BT\n";
    // The text state is reset explicitly: a page that leaves its q/Q unbalanced must not change
    // how the overlay is drawn.
    content += "0 Tc 0 Tw 100 Tz 0 Ts 0 Tr\n";
    content += fontResourceName + " " + FormatNumber(size) + " Tf\n";
    content += FormatNumber(request.red) + " " + FormatNumber(request.green) + " " +
               FormatNumber(request.blue) + " rg\n";
    content += FormatNumber(-textWidth / 2) + " " + FormatNumber(baseline) + " Td\n";
    content += PdfLiteralString(request.text) + " Tj\n";
    content += "ET\nQ\n";
    return content;
}

}  // namespace mstar
