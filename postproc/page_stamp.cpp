#include "postproc/page_stamp.h"

#include <algorithm>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <string>

#include "postproc/overlay_content.h"

namespace mstar {
namespace {

constexpr const char* kFontResourceBase = "/MstarOverlayHelvetica";

QPDFObjectHandle MakeHelveticaFont(QPDF& pdf) {
    QPDFObjectHandle font = QPDFObjectHandle::newDictionary();
    font.replaceKey("/Type", QPDFObjectHandle::newName("/Font"));
    font.replaceKey("/Subtype", QPDFObjectHandle::newName("/Type1"));
    font.replaceKey("/BaseFont", QPDFObjectHandle::newName("/Helvetica"));
    font.replaceKey("/Encoding", QPDFObjectHandle::newName("/WinAnsiEncoding"));
    return pdf.makeIndirectObject(font);
}

bool ReadRectangle(QPDFObjectHandle box, QPDFObjectHandle::Rectangle& rectangle) {
    if (!box.isRectangle()) return false;
    const QPDFObjectHandle::Rectangle raw = box.getArrayAsRectangle();
    rectangle.llx = std::min(raw.llx, raw.urx);
    rectangle.urx = std::max(raw.llx, raw.urx);
    rectangle.lly = std::min(raw.lly, raw.ury);
    rectangle.ury = std::max(raw.lly, raw.ury);
    return rectangle.urx > rectangle.llx && rectangle.ury > rectangle.lly;
}

// The visible area: the crop box clipped to the media box, else the media box, else Letter.
PageGeometry ReadPageGeometry(QPDFPageObjectHelper& page) {
    PageGeometry geometry;
    QPDFObjectHandle::Rectangle media;
    if (!ReadRectangle(page.getAttribute("/MediaBox", false), media)) {
        media = QPDFObjectHandle::Rectangle(geometry.llx, geometry.lly, geometry.urx, geometry.ury);
    }
    QPDFObjectHandle::Rectangle visible = media;
    QPDFObjectHandle::Rectangle crop;
    if (ReadRectangle(page.getAttribute("/CropBox", false), crop)) {
        QPDFObjectHandle::Rectangle clipped(
            std::max(crop.llx, media.llx), std::max(crop.lly, media.lly),
            std::min(crop.urx, media.urx), std::min(crop.ury, media.ury));
        if (clipped.urx > clipped.llx && clipped.ury > clipped.lly) visible = clipped;
    }
    geometry.llx = visible.llx;
    geometry.lly = visible.lly;
    geometry.urx = visible.urx;
    geometry.ury = visible.ury;

    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    if (rotate.isInteger()) {
        const long long degrees = ((rotate.getIntValue() % 360) + 360) % 360;
        // Viewers ignore a rotation that is not a multiple of 90; so does the layout.
        if (degrees % 90 == 0) geometry.rotate = static_cast<int>(degrees);
    }
    return geometry;
}

// Gives the page its own resource and font dictionaries (other pages may share the originals)
// and adds the overlay font under a name no existing font of the page uses.
std::string AddFontResource(QPDFPageObjectHelper& page, QPDFObjectHandle font) {
    QPDFObjectHandle pageObject = page.getObjectHandle();
    QPDFObjectHandle resources = pageObject.getKey("/Resources");
    resources =
        resources.isDictionary() ? resources.shallowCopy() : QPDFObjectHandle::newDictionary();
    QPDFObjectHandle fonts = resources.getKey("/Font");
    fonts = fonts.isDictionary() ? fonts.shallowCopy() : QPDFObjectHandle::newDictionary();

    std::string name = kFontResourceBase;
    for (int suffix = 1; fonts.hasKey(name); ++suffix) {
        name = kFontResourceBase + std::to_string(suffix);
    }
    fonts.replaceKey(name, font);
    resources.replaceKey("/Font", fonts);
    pageObject.replaceKey("/Resources", resources);
    return name;
}

// Counts the save operators that the page content leaves open.
class OpenSaveCounter : public QPDFObjectHandle::ParserCallbacks {
  public:
    void handleObject(QPDFObjectHandle object, size_t, size_t) override {
        if (!object.isOperator()) return;
        const std::string op = object.getOperatorValue();
        if (op == "q") {
            ++depth_;
        } else if (op == "Q" && depth_ > 0) {
            --depth_;
        }
    }
    void handleEOF() override {}
    int depth() const { return depth_; }

  private:
    int depth_ = 0;
};

int CountOpenSaves(QPDFPageObjectHelper& page) {
    OpenSaveCounter counter;
    try {
        page.parseContents(&counter);
    } catch (const std::exception&) {
        // Content that does not parse is left to the reader; the overlay still gets its own q.
    }
    return counter.depth();
}

void StampPage(QPDF& pdf, QPDFPageObjectHelper& page, QPDFObjectHandle font,
               const OverlayRequest& request) {
    const PageGeometry geometry = ReadPageGeometry(page);
    const std::string fontName = AddFontResource(page, font);
    const std::string overlay = BuildOverlayContent(request, geometry, fontName);

    if (request.behindContent) {
        page.addPageContents(pdf.newStream(overlay), true);
        return;
    }
    // The existing content runs inside its own q/Q, closed first where it left saves open, so
    // that none of its graphics state reaches the overlay.
    std::string closing = "\n";
    for (int open = CountOpenSaves(page); open > 0; --open) closing += "Q\n";
    page.addPageContents(pdf.newStream("q\n"), true);
    page.addPageContents(pdf.newStream(closing + "Q\n" + overlay), false);
}

}  // namespace

void StampAllPages(QPDF& pdf, const OverlayRequest& request) {
    QPDFPageDocumentHelper pages(pdf);
    // Inherited resources, boxes and rotation move onto each page so they can be read and
    // changed per page.
    pages.pushInheritedAttributesToPage();
    QPDFObjectHandle font = MakeHelveticaFont(pdf);
    for (QPDFPageObjectHelper& page : pages.getAllPages()) StampPage(pdf, page, font, request);
}

}  // namespace mstar
