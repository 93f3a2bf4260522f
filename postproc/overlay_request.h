#pragma once
// The text overlay as the stamper uses it: the raw call values turned into points, RGB and one
// of nine anchors.

#include <string>

namespace mstar {

enum class OverlayAnchor {
    Centre,
    TopLeft,
    TopCentre,
    TopRight,
    MiddleLeft,
    MiddleRight,
    BottomLeft,
    BottomCentre,
    BottomRight,
};

struct OverlayRequest {
    std::string text;  // WinAnsi bytes
    double red = 1.0;  // 0..1
    double green = 0.0;
    double blue = 0.0;
    double fontSize = 16.0;  // points
    OverlayAnchor anchor = OverlayAnchor::Centre;
    double rotationDegrees = 0.0;  // anticlockwise about the text's centre
    double offsetX = 0.0;          // points, to the right
    double offsetY = 0.0;          // points, upward
    bool behindContent = false;
};

// Raw values of the call: colour as 0x00BBGGRR, position possibly negated.
struct OverlayCallValues {
    std::string text;
    int colorRef = 255;
    int size = 16;
    int position = -1;
    int rotation = 0;
    int x = 0;
    int y = 0;
    int flag = 0;
};

OverlayRequest MakeOverlayRequest(const OverlayCallValues& values);

}  // namespace mstar
