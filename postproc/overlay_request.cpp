#include "postproc/overlay_request.h"

#include <algorithm>
#include <cstdlib>

namespace mstar {
namespace {

constexpr double kDefaultFontSize = 16.0;
// Larger sizes gain nothing on any page size and push coordinates past what old readers handle.
constexpr double kMaxFontSize = 1000.0;

OverlayAnchor AnchorFromPosition(int position) {
    // The caller hands the position over negated; either sign means the same anchor.
    const long long magnitude = std::llabs(static_cast<long long>(position));
    switch (magnitude) {
        case 2:
            return OverlayAnchor::TopLeft;
        case 3:
            return OverlayAnchor::TopCentre;
        case 4:
            return OverlayAnchor::TopRight;
        case 5:
            return OverlayAnchor::MiddleLeft;
        case 6:
            return OverlayAnchor::MiddleRight;
        case 7:
            return OverlayAnchor::BottomLeft;
        case 8:
            return OverlayAnchor::BottomCentre;
        case 9:
            return OverlayAnchor::BottomRight;
        default:
            return OverlayAnchor::Centre;
    }
}

}  // namespace

OverlayRequest MakeOverlayRequest(const OverlayCallValues& values) {
    OverlayRequest request;
    request.text = values.text;
    const unsigned colorRef = static_cast<unsigned>(values.colorRef);
    request.red = static_cast<double>(colorRef & 0xFFu) / 255.0;
    request.green = static_cast<double>((colorRef >> 8) & 0xFFu) / 255.0;
    request.blue = static_cast<double>((colorRef >> 16) & 0xFFu) / 255.0;
    request.fontSize = values.size <= 0 ? kDefaultFontSize
                                        : std::min(static_cast<double>(values.size), kMaxFontSize);
    request.anchor = AnchorFromPosition(values.position);
    request.rotationDegrees = static_cast<double>(values.rotation % 360);
    request.offsetX = values.x;
    request.offsetY = values.y;
    request.behindContent = values.flag == 1;
    return request;
}

}  // namespace mstar
