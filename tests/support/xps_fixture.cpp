#include "support/xps_fixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/xps_font_subset.h"
#include "support/xps_zip.h"

namespace xpsfixture {
namespace {

constexpr const char* kFontSource = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kFontPart = "/Resources/DejaVuSans.ttf";
constexpr const char* kImagePart = "/Resources/image1.jpg";

// A 16 x 16 JPEG of the flat colour kImageColour (decodes to exactly that colour).
constexpr uint8_t kFlatJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02,
    0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04,
    0x04, 0x03, 0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x06,
    0x07, 0x09, 0x07, 0x06, 0x06, 0x08, 0x0b, 0x08, 0x09, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x06, 0x08,
    0x0b, 0x0c, 0x0b, 0x0a, 0x0c, 0x09, 0x0a, 0x0a, 0x0a, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x02, 0x02,
    0x02, 0x02, 0x02, 0x02, 0x05, 0x03, 0x03, 0x05, 0x0a, 0x07, 0x06, 0x07, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4,
    0x00, 0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x08, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00, 0x0c, 0x03,
    0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0x93, 0xd5, 0x62, 0x6b, 0x00, 0x00, 0x1f,
    0xff, 0xd9,
};

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

std::string Colour(uint32_t rgb) {
    char text[16];
    std::snprintf(text, sizeof text, "#FF%06X", rgb & 0xFFFFFF);
    return text;
}

std::string EscapeXml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    // A value starting with "{" would be read as markup extension; "{}" escapes it.
    if (!out.empty() && out[0] == '{') out.insert(0, "{}");
    return out;
}

std::u32string DecodeUtf8(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<uint8_t>(text[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < text.size(); ++k) {
            cp = cp << 6 | (static_cast<uint8_t>(text[i + k]) & 0x3F);
        }
        out += cp;
        i += extra + 1;
    }
    return out;
}

std::string RectangleData(double x, double y, double w, double h) {
    return "M " + Number(x) + "," + Number(y) + " L " + Number(x + w) + "," + Number(y) + " " +
           Number(x + w) + "," + Number(y + h) + " " + Number(x) + "," + Number(y + h) + " Z";
}

const char* kXmlHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
const char* kXpsNamespace = "http://schemas.microsoft.com/xps/2005/06";
const char* kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/package/2006/relationships";

}  // namespace

XpsDocumentBuilder::Page& XpsDocumentBuilder::PageAt(int page) {
    if (page < 0 || page >= PageCount()) throw std::out_of_range("no such fixture page");
    return pages_[page];
}

int XpsDocumentBuilder::AddPage(double width, double height) {
    pages_.push_back({width, height, {}, false, false, false});
    return PageCount() - 1;
}

int XpsDocumentBuilder::AddMissingPage(double width, double height) {
    pages_.push_back({width, height, {}, false, false, true});
    return PageCount() - 1;
}

void XpsDocumentBuilder::AddRect(int page, double x, double y, double width, double height,
                                 uint32_t colour) {
    PageAt(page).markup += "  <Path Fill=\"" + Colour(colour) + "\" Data=\"" +
                           RectangleData(x, y, width, height) + "\" />\n";
}

void XpsDocumentBuilder::AddText(int page, double x, double y, double size, const std::string& text,
                                 uint32_t colour) {
    Page& target = PageAt(page);
    target.markup += "  <Glyphs Fill=\"" + Colour(colour) + "\" FontUri=\"" + kFontPart +
                     "\" FontRenderingEmSize=\"" + Number(size) + "\" OriginX=\"" + Number(x) +
                     "\" OriginY=\"" + Number(y) + "\" UnicodeString=\"" + EscapeXml(text) +
                     "\" />\n";
    target.usesFont = true;
    textUsed_ += DecodeUtf8(text);
}

void XpsDocumentBuilder::AddImage(int page, double x, double y, double width, double height) {
    Page& target = PageAt(page);
    std::string box = Number(x) + "," + Number(y) + "," + Number(width) + "," + Number(height);
    target.markup += "  <Path Data=\"" + RectangleData(x, y, width, height) +
                     "\">\n    <Path.Fill>\n      <ImageBrush ImageSource=\"" + kImagePart +
                     "\" Viewbox=\"0,0,16,16\" ViewboxUnits=\"Absolute\" Viewport=\"" + box +
                     "\" ViewportUnits=\"Absolute\" />\n    </Path.Fill>\n  </Path>\n";
    target.usesImage = true;
}

void XpsDocumentBuilder::AddTiledImage(int page, double x, double y, double width,
                                       double height, double tile) {
    Page& target = PageAt(page);
    target.markup += "  <Path Data=\"" + RectangleData(x, y, width, height) +
                     "\">\n    <Path.Fill>\n      <ImageBrush ImageSource=\"" + kImagePart +
                     "\" Viewbox=\"0,0,16,16\" ViewboxUnits=\"Absolute\" Viewport=\"" +
                     Number(x) + "," + Number(y) + "," + Number(tile) + "," + Number(tile) +
                     "\" ViewportUnits=\"Absolute\" TileMode=\"Tile\" />\n    </Path.Fill>\n"
                     "  </Path>\n";
    target.usesImage = true;
}

namespace {

std::string GradientStops(const std::string& brush, uint32_t from, uint32_t to) {
    return "        <" + brush + ".GradientStops>\n          <GradientStop Color=\"" +
           Colour(from) + "\" Offset=\"0\" />\n          <GradientStop Color=\"" + Colour(to) +
           "\" Offset=\"1\" />\n        </" + brush + ".GradientStops>\n";
}

}  // namespace

void XpsDocumentBuilder::AddLinearGradient(int page, double x, double y, double width,
                                           double height, uint32_t from, uint32_t to) {
    PageAt(page).markup +=
        "  <Path Data=\"" + RectangleData(x, y, width, height) +
        "\">\n    <Path.Fill>\n      <LinearGradientBrush MappingMode=\"Absolute\" "
        "StartPoint=\"" + Number(x) + "," + Number(y) + "\" EndPoint=\"" + Number(x + width) +
        "," + Number(y) + "\">\n" + GradientStops("LinearGradientBrush", from, to) +
        "      </LinearGradientBrush>\n    </Path.Fill>\n  </Path>\n";
}

void XpsDocumentBuilder::AddRadialGradient(int page, double x, double y, double width,
                                           double height, uint32_t inner, uint32_t outer) {
    std::string centre = Number(x + width / 2) + "," + Number(y + height / 2);
    PageAt(page).markup +=
        "  <Path Data=\"" + RectangleData(x, y, width, height) +
        "\">\n    <Path.Fill>\n      <RadialGradientBrush MappingMode=\"Absolute\" Center=\"" +
        centre + "\" GradientOrigin=\"" + centre + "\" RadiusX=\"" + Number(width / 2) +
        "\" RadiusY=\"" + Number(height / 2) + "\">\n" +
        GradientStops("RadialGradientBrush", inner, outer) +
        "      </RadialGradientBrush>\n    </Path.Fill>\n  </Path>\n";
}

void XpsDocumentBuilder::AddTiledSquares(int page, double x, double y, double width,
                                         double height, double cell, uint32_t colour) {
    std::string c = Number(cell);
    PageAt(page).markup +=
        "  <Path Data=\"" + RectangleData(x, y, width, height) +
        "\">\n    <Path.Fill>\n      <VisualBrush Viewbox=\"0,0," + c + "," + c +
        "\" ViewboxUnits=\"Absolute\" Viewport=\"" + Number(x) + "," + Number(y) + "," + c +
        "," + c + "\" ViewportUnits=\"Absolute\" TileMode=\"Tile\">\n"
        "        <VisualBrush.Visual>\n          <Path Fill=\"" + Colour(colour) +
        "\" Data=\"" + RectangleData(0, 0, cell / 2, cell / 2) +
        "\" />\n        </VisualBrush.Visual>\n      </VisualBrush>\n    </Path.Fill>\n"
        "  </Path>\n";
}

void XpsDocumentBuilder::AddFadedRect(int page, double x, double y, double width, double height,
                                      uint32_t colour) {
    PageAt(page).markup +=
        "  <Path Fill=\"" + Colour(colour) + "\" Data=\"" + RectangleData(x, y, width, height) +
        "\">\n    <Path.OpacityMask>\n      <LinearGradientBrush MappingMode=\"Absolute\" "
        "StartPoint=\"" + Number(x) + "," + Number(y) + "\" EndPoint=\"" + Number(x + width) +
        "," + Number(y) + "\">\n" +
        "        <LinearGradientBrush.GradientStops>\n"
        "          <GradientStop Color=\"#FF000000\" Offset=\"0\" />\n"
        "          <GradientStop Color=\"#00000000\" Offset=\"1\" />\n"
        "        </LinearGradientBrush.GradientStops>\n"
        "      </LinearGradientBrush>\n    </Path.OpacityMask>\n  </Path>\n";
}

void XpsDocumentBuilder::AddCappedLine(int page, double x0, double y0, double x1, double y1,
                                       double thickness, uint32_t colour) {
    PageAt(page).markup += "  <Path Stroke=\"" + Colour(colour) + "\" StrokeThickness=\"" +
                           Number(thickness) +
                           "\" StrokeStartLineCap=\"Triangle\" StrokeEndLineCap=\"Round\" "
                           "Data=\"M " + Number(x0) + "," + Number(y0) + " L " + Number(x1) +
                           "," + Number(y1) + "\" />\n";
}

void XpsDocumentBuilder::AddLinkedRect(int page, double x, double y, double width,
                                       double height, uint32_t colour, const std::string& uri) {
    PageAt(page).markup += "  <Path Fill=\"" + Colour(colour) + "\" FixedPage.NavigateUri=\"" +
                           EscapeXml(uri) + "\" Data=\"" + RectangleData(x, y, width, height) +
                           "\" />\n";
}

void XpsDocumentBuilder::AddLinkedText(int page, double x, double y, double size,
                                       const std::string& text, const std::string& uri) {
    AddText(page, x, y, size, text);
    std::string& markup = PageAt(page).markup;
    markup.insert(markup.rfind(" />"), " FixedPage.NavigateUri=\"" + EscapeXml(uri) + "\"");
}

void XpsDocumentBuilder::AddLinkedCanvas(int page, double x, double y, double width,
                                         double height, uint32_t colour, const std::string& uri) {
    // The canvas is moved into place, its rectangle drawn at its origin.
    PageAt(page).markup += "  <Canvas RenderTransform=\"1,0,0,1," + Number(x) + "," + Number(y) +
                           "\" FixedPage.NavigateUri=\"" + EscapeXml(uri) +
                           "\">\n    <Path Fill=\"" + Colour(colour) + "\" Data=\"" +
                           RectangleData(0, 0, width, height) + "\" />\n  </Canvas>\n";
}

void XpsDocumentBuilder::AddNamedText(int page, double x, double y, double size,
                                      const std::string& text, const std::string& name) {
    AddText(page, x, y, size, text);
    std::string& markup = PageAt(page).markup;
    markup.insert(markup.rfind(" />"), " Name=\"" + EscapeXml(name) + "\"");
}

void XpsDocumentBuilder::AddLinkTarget(int page, const std::string& name) {
    PageAt(page);
    linkTargets_[page].push_back(name);
}

void XpsDocumentBuilder::AddOutlineEntry(int level, const std::string& title,
                                         const std::string& target) {
    outline_ += "      <OutlineEntry OutlineLevel=\"" + std::to_string(level) +
                "\" Description=\"" + EscapeXml(title) + "\" OutlineTarget=\"" +
                EscapeXml(target) + "\" />\n";
}

void XpsDocumentBuilder::SetPageBoxes(int page, const std::string& bleedBox,
                                      const std::string& contentBox) {
    PageAt(page);
    std::string& attributes = pageAttributes_[page];
    if (!bleedBox.empty()) attributes += " BleedBox=\"" + bleedBox + "\"";
    if (!contentBox.empty()) attributes += " ContentBox=\"" + contentBox + "\"";
}

void XpsDocumentBuilder::AddCoreProperty(const std::string& element, const std::string& value) {
    coreProperties_ += "  <" + element + ">" + EscapeXml(value) + "</" + element + ">\n";
}

std::string XpsDocumentBuilder::PageAttributes(int page) const {
    auto found = pageAttributes_.find(page);
    return found == pageAttributes_.end() ? std::string() : found->second;
}

std::vector<uint8_t> XpsDocumentBuilder::Build() const {
    bool anyFont = false;
    bool anyImage = false;
    for (const Page& page : pages_) {
        anyFont = anyFont || page.usesFont;
        anyImage = anyImage || page.usesImage;
    }
    std::vector<uint8_t> font;
    if (anyFont) {
        std::ifstream file(kFontSource, std::ios::binary);
        std::vector<uint8_t> whole{std::istreambuf_iterator<char>(file), {}};
        font = SubsetTrueTypeFont(whole, textUsed_);
        if (font.empty()) return {};
    }

    ZipWriter zip;
    zip.Add("[Content_Types].xml",
            std::string(kXmlHead) +
                "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">\n"
                "  <Default Extension=\"rels\" "
                "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\" />\n"
                "  <Default Extension=\"fdseq\" "
                "ContentType=\"application/vnd.ms-package.xps-fixeddocumentsequence+xml\" />\n"
                "  <Default Extension=\"fdoc\" "
                "ContentType=\"application/vnd.ms-package.xps-fixeddocument+xml\" />\n"
                "  <Default Extension=\"fpage\" "
                "ContentType=\"application/vnd.ms-package.xps-fixedpage+xml\" />\n"
                "  <Default Extension=\"ttf\" ContentType=\"application/vnd.ms-opentype\" />\n"
                "  <Default Extension=\"jpg\" ContentType=\"image/jpeg\" />\n"
                "  <Default Extension=\"struct\" "
                "ContentType=\"application/vnd.ms-package.xps-documentstructure+xml\" />\n"
                "  <Override PartName=\"/metadata/properties.xml\" "
                "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\" />\n"
                "</Types>\n");
    zip.Add("_rels/.rels",
            std::string(kXmlHead) + "<Relationships xmlns=\"" + kRelationshipsNamespace +
                "\">\n  <Relationship Id=\"R0\" "
                "Type=\"http://schemas.microsoft.com/xps/2005/06/fixedrepresentation\" "
                "Target=\"/FixedDocumentSequence.fdseq\" />\n" +
                (coreProperties_.empty()
                     ? std::string()
                     : "  <Relationship Id=\"R1\" Type=\"http://schemas.openxmlformats.org/"
                       "package/2006/relationships/metadata/core-properties\" "
                       "Target=\"metadata/properties.xml\" />\n") +
                "</Relationships>\n");
    if (!coreProperties_.empty()) {
        zip.Add("metadata/properties.xml",
                std::string(kXmlHead) +
                    "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/"
                    "metadata/core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                    "xmlns:dcterms=\"http://purl.org/dc/terms/\">\n" +
                    coreProperties_ + "</cp:coreProperties>\n");
    }
    if (!outline_.empty()) {
        zip.Add("Documents/1/_rels/FixedDocument.fdoc.rels",
                std::string(kXmlHead) + "<Relationships xmlns=\"" + kRelationshipsNamespace +
                    "\">\n  <Relationship Id=\"S0\" "
                    "Type=\"http://schemas.microsoft.com/xps/2005/06/documentstructure\" "
                    "Target=\"Structure/DocStructure.struct\" />\n</Relationships>\n");
        zip.Add("Documents/1/Structure/DocStructure.struct",
                std::string(kXmlHead) +
                    "<DocumentStructure xmlns=\"http://schemas.microsoft.com/xps/2005/06/"
                    "documentstructure\">\n  <DocumentStructure.Outline>\n"
                    "    <DocumentOutline xml:lang=\"en-US\">\n" +
                    outline_ +
                    "    </DocumentOutline>\n  </DocumentStructure.Outline>\n"
                    "</DocumentStructure>\n");
    }
    zip.Add("FixedDocumentSequence.fdseq",
            std::string(kXmlHead) + "<FixedDocumentSequence xmlns=\"" + kXpsNamespace +
                "\">\n  <DocumentReference Source=\"/Documents/1/FixedDocument.fdoc\" />\n"
                "</FixedDocumentSequence>\n");
    std::string fdoc = std::string(kXmlHead) + "<FixedDocument xmlns=\"" + kXpsNamespace + "\">\n";
    for (int i = 0; i < PageCount(); ++i) {
        fdoc += "  <PageContent Source=\"/Documents/1/Pages/" + std::to_string(i + 1) +
                ".fpage\" Width=\"" + Number(pages_[i].width) + "\" Height=\"" +
                Number(pages_[i].height) + "\"";
        auto targets = linkTargets_.find(i);
        if (targets == linkTargets_.end()) {
            fdoc += " />\n";
            continue;
        }
        fdoc += ">\n    <PageContent.LinkTargets>\n";
        for (const std::string& name : targets->second) {
            fdoc += "      <LinkTarget Name=\"" + EscapeXml(name) + "\" />\n";
        }
        fdoc += "    </PageContent.LinkTargets>\n  </PageContent>\n";
    }
    zip.Add("Documents/1/FixedDocument.fdoc", fdoc + "</FixedDocument>\n");

    for (int i = 0; i < PageCount(); ++i) {
        const Page& page = pages_[i];
        if (page.missing) continue;
        std::string name = std::to_string(i + 1) + ".fpage";
        zip.Add("Documents/1/Pages/" + name,
                std::string(kXmlHead) + "<FixedPage xmlns=\"" + kXpsNamespace +
                    "\" xml:lang=\"en-US\" Width=\"" + Number(page.width) + "\" Height=\"" +
                    Number(page.height) + "\"" + PageAttributes(i) + ">\n" + page.markup +
                    "</FixedPage>\n");
        if (!page.usesFont && !page.usesImage) continue;
        std::string rels =
            std::string(kXmlHead) + "<Relationships xmlns=\"" + kRelationshipsNamespace + "\">\n";
        const char* required = "http://schemas.microsoft.com/xps/2005/06/required-resource";
        if (page.usesFont) {
            rels += "  <Relationship Id=\"F0\" Type=\"" + std::string(required) + "\" Target=\"" +
                    kFontPart + "\" />\n";
        }
        if (page.usesImage) {
            rels += "  <Relationship Id=\"I0\" Type=\"" + std::string(required) + "\" Target=\"" +
                    kImagePart + "\" />\n";
        }
        zip.Add("Documents/1/Pages/_rels/" + name + ".rels", rels + "</Relationships>\n");
    }
    if (anyFont) zip.Add(std::string(kFontPart).substr(1), font);
    if (anyImage) {
        zip.Add(std::string(kImagePart).substr(1),
                std::vector<uint8_t>(std::begin(kFlatJpeg), std::end(kFlatJpeg)));
    }
    return zip.Finish();
}

bool XpsDocumentBuilder::WriteTo(const std::string& path) const {
    std::vector<uint8_t> bytes = Build();
    if (bytes.empty()) return false;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace xpsfixture
