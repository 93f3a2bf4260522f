#pragma once
// The content-stream text that draws the overlay on one page.

#include <string>
#include <string_view>

#include "postproc/overlay_request.h"

namespace mstar {

// The visible area of a page in its user space and the page's /Rotate (0, 90, 180 or 270).
struct PageGeometry {
    double llx = 0.0;
    double lly = 0.0;
    double urx = 612.0;
    double ury = 792.0;
    int rotate = 0;
};

// A PDF literal string, parentheses included, for WinAnsi bytes.
std::string PdfLiteralString(std::string_view bytes);

// A self-contained q ... Q block that shows the text in the font resource `fontResourceName`
// (with its leading slash), laid out upright as the page is displayed.
std::string BuildOverlayContent(const OverlayRequest& request, const PageGeometry& page,
                                const std::string& fontResourceName);

}  // namespace mstar
