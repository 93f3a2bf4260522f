#pragma once
// What the library does not keep of each FixedPage: its exact size, its BleedBox and
// ContentBox, and where its named elements sit (link targets).

#include <mupdf/fitz.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/xps/xps_package.h"

namespace engine {

// One XPS unit is 1/96 inch; the PDF is written in points of 1/72 inch.
constexpr double kPointsPerXpsUnit = 72.0 / 96.0;

// A box of the page's markup, in XPS units, the origin top left and y downwards.
struct XpsBox {
    double x = 0, y = 0, width = 0, height = 0;
};

struct PageLayout {
    double width = 0, height = 0;  // XPS units
    std::optional<XpsBox> bleedBox;
    std::optional<XpsBox> contentBox;
    // The top left of each element with a Name, in points from the page's top left.
    std::map<std::string, fz_point> names;
    // Hyperlinks on Canvas elements, which the library does not read: the area in points
    // from the page's top left, and the address as written.
    struct CanvasLink {
        fz_rect area;
        std::string uri;
    };
    std::vector<CanvasLink> canvasLinks;
    // Elements nest deeper than the engine's walks follow (kMaxMarkupDepth): the library's own
    // reading of the page's links would recurse that deep, so they are not read.
    bool deeperThanWalked = false;
};

class DocumentLayout {
  public:
    // Empty when the package's page list does not match the library's pageCount, so that
    // nothing is taken from the wrong page.
    static DocumentLayout Read(const XpsPackage& package, int pageCount);

    // nullptr when the page's markup could not be read.
    const PageLayout* Page(int index) const;
    // The page holding the element named name, and where; false when no page has it.
    bool FindName(const std::string& name, int& page, fz_point& where) const;

  private:
    std::vector<std::optional<PageLayout>> pages_;
};

// Parses "x,y,w,h"; nullopt unless all four numbers are there and the size is not negative.
std::optional<XpsBox> ParseXpsBox(const char* text);

// The page's FixedPage markup read into a layout; nullopt when it has no usable size.
std::optional<PageLayout> ReadPageLayout(fz_xml* fixedPage);

}  // namespace engine
