#include "support/xps_fixture.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <zlib.h>

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

// The same image as a progressive JPEG (frame header SOF2), all components at full
// resolution: a decoder holds every coefficient of such an image until its last scan.
constexpr uint8_t kFlatProgressiveJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x03, 0x02, 0x02, 0x03,
    0x03, 0x03, 0x03, 0x04, 0x03, 0x03, 0x04, 0x05, 0x08, 0x05, 0x05, 0x04, 0x04, 0x05, 0x0a, 0x07,
    0x07, 0x06, 0x08, 0x0c, 0x0a, 0x0c, 0x0c, 0x0b, 0x0a, 0x0b, 0x0b, 0x0d, 0x0e, 0x12, 0x10, 0x0d,
    0x0e, 0x11, 0x0e, 0x0b, 0x0b, 0x10, 0x16, 0x10, 0x11, 0x13, 0x14, 0x15, 0x15, 0x15, 0x0c, 0x0f,
    0x17, 0x18, 0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x03, 0x04,
    0x04, 0x05, 0x04, 0x05, 0x09, 0x05, 0x05, 0x09, 0x14, 0x0d, 0x0b, 0x0d, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0xff, 0xc2,
    0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0xff, 0xc4, 0x00, 0x15, 0x01, 0x01, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0xff,
    0xda, 0x00, 0x0c, 0x03, 0x01, 0x00, 0x02, 0x10, 0x03, 0x10, 0x00, 0x00, 0x01, 0x84, 0xb9, 0x8d,
    0x00, 0x7f, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01,
    0x05, 0x02, 0x1f, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0xff, 0xda, 0x00, 0x08, 0x01, 0x03, 0x01,
    0x01, 0x3f, 0x01, 0x1f, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0xff, 0xda, 0x00, 0x08, 0x01, 0x02,
    0x01, 0x01, 0x3f, 0x01, 0x1f, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0xff, 0xda, 0x00, 0x08, 0x01,
    0x01, 0x00, 0x06, 0x3f, 0x02, 0x1f, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0xff, 0xda, 0x00, 0x08,
    0x01, 0x01, 0x00, 0x01, 0x3f, 0x21, 0x1f, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01, 0x00, 0x02, 0x00,
    0x03, 0x00, 0x00, 0x00, 0x10, 0xff, 0x00, 0xff, 0x00, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0xff,
    0xda, 0x00, 0x08, 0x01, 0x03, 0x01, 0x01, 0x3f, 0x10, 0x1f, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20,
    0xff, 0xda, 0x00, 0x08, 0x01, 0x02, 0x01, 0x01, 0x3f, 0x10, 0x1f, 0xff, 0xc4, 0x00, 0x14, 0x10,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x20, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x3f, 0x10, 0x1f, 0xff, 0xd9,
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
const char* kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/package/2006/relationships";

// The two flavours differ in the namespace of the document markup, which is also the stem of
// their relationship types; the part content types are the same.
const char* kXpsNamespace = "http://schemas.microsoft.com/xps/2005/06";
const char* kOpenXpsNamespace = "http://schemas.openxps.org/oxps/v1.0";

// Bytes that are neither an image nor a font of any format.
const std::string kGarbage = "This part was meant to be a resource, but holds only this text.\n";

// A flat JPEG with the height and width in its frame header (SOF0 or SOF2) replaced.
std::vector<uint8_t> JpegDeclaring(bool progressive, uint32_t width, uint32_t height) {
    std::vector<uint8_t> jpeg =
        progressive
            ? std::vector<uint8_t>(std::begin(kFlatProgressiveJpeg), std::end(kFlatProgressiveJpeg))
            : std::vector<uint8_t>(std::begin(kFlatJpeg), std::end(kFlatJpeg));
    const uint8_t frame = progressive ? 0xC2 : 0xC0;
    for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == frame) {
            // Marker, length (2), precision (1), height (2), width (2).
            jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<uint8_t>(height);
            jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<uint8_t>(width);
            break;
        }
    }
    return jpeg;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PngChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    PutBigEndian(png, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// An 8-bit RGB PNG whose header declares width x height but whose data holds one row of one
// pixel of kImageColour.
std::vector<uint8_t> PngDeclaring(uint32_t width, uint32_t height) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBigEndian(header, width);
    PutBigEndian(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // depth, RGB, deflate, filter, no interlace
    PngChunk(png, "IHDR", header);
    const uint8_t row[] = {0, kImageColour >> 16, (kImageColour >> 8) & 0xFF, kImageColour & 0xFF};
    std::vector<uint8_t> packed(compressBound(sizeof row));
    uLongf packedSize = static_cast<uLongf>(packed.size());
    compress(packed.data(), &packedSize, row, sizeof row);
    packed.resize(packedSize);
    PngChunk(png, "IDAT", packed);
    PngChunk(png, "IEND", {});
    return png;
}

}  // namespace

XpsDocumentBuilder::Page& XpsDocumentBuilder::PageAt(int page) {
    if (page < 0 || page >= PageCount()) throw std::out_of_range("no such fixture page");
    return pages_[page];
}

int XpsDocumentBuilder::AddPage(double width, double height) {
    pages_.push_back({width, height, {}, false, false, false, {}});
    return PageCount() - 1;
}

int XpsDocumentBuilder::AddMissingPage(double width, double height) {
    pages_.push_back({width, height, {}, false, false, true, {}});
    return PageCount() - 1;
}

std::string XpsDocumentBuilder::NewResourceName(const std::string& extension) {
    return "/Resources/part" + std::to_string(++resourceCount_) + extension;
}

void XpsDocumentBuilder::AddRect(int page, double x, double y, double width, double height,
                                 uint32_t colour) {
    PageAt(page).markup += "  <Path Fill=\"" + Colour(colour) + "\" Data=\"" +
                           RectangleData(x, y, width, height) + "\" />\n";
}

void XpsDocumentBuilder::AddPathData(int page, const std::string& data, uint32_t colour) {
    PageAt(page).markup += "  <Path Fill=\"" + Colour(colour) + "\" Data=\"" + EscapeXml(data) + "\" />\n";
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

void XpsDocumentBuilder::AddGlyphs(int page, double x, double y, double size,
                                   const std::string& text, const std::string& indices,
                                   int bidiLevel, const std::string& shapes,
                                   const std::string& styleSimulations, const std::string& fill) {
    Page& target = PageAt(page);
    target.markup += "  <Glyphs Fill=\"" + fill + "\" FontUri=\"" + std::string(kFontPart) +
                     "\" FontRenderingEmSize=\"" + Number(size) + "\" OriginX=\"" + Number(x) +
                     "\" OriginY=\"" + Number(y) + "\" BidiLevel=\"" + std::to_string(bidiLevel) +
                     "\" UnicodeString=\"" + EscapeXml(text) + "\"" +
                     (indices.empty() ? std::string() : " Indices=\"" + indices + "\"") +
                     (styleSimulations.empty() ? std::string()
                                               : " StyleSimulations=\"" + styleSimulations + "\"") +
                     " />\n";
    target.usesFont = true;
    textUsed_ += DecodeUtf8(text) + DecodeUtf8(shapes);
}

uint32_t XpsDocumentBuilder::FontGlyph(char32_t c) {
    std::ifstream file(kFontSource, std::ios::binary);
    const std::vector<uint8_t> font((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    return GlyphIndexOf(font, c);
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

void XpsDocumentBuilder::AddImageBrush(int page, double x, double y, double width,
                                       double height, const std::string& part, double viewWidth,
                                       double viewHeight, double tile) {
    Page& target = PageAt(page);
    std::string box = tile > 0 ? Number(x) + "," + Number(y) + "," + Number(tile) + "," + Number(tile)
                               : Number(x) + "," + Number(y) + "," + Number(width) + "," + Number(height);
    target.markup += "  <Path Data=\"" + RectangleData(x, y, width, height) +
                     "\">\n    <Path.Fill>\n      <ImageBrush ImageSource=\"" + part +
                     "\" Viewbox=\"0,0," + Number(viewWidth) + "," + Number(viewHeight) +
                     "\" ViewboxUnits=\"Absolute\" Viewport=\"" + box +
                     "\" ViewportUnits=\"Absolute\"" + (tile > 0 ? " TileMode=\"Tile\"" : "") +
                     " />\n    </Path.Fill>\n  </Path>\n";
    target.resources.push_back(part);
}

void XpsDocumentBuilder::AddImageDeclaring(int page, double x, double y, double width,
                                           double height, ImageFormat format,
                                           uint32_t declaredWidth, uint32_t declaredHeight) {
    const bool png = format == ImageFormat::Png;
    const std::string part = NewResourceName(png ? ".png" : ".jpg");
    // No file states a resolution, so a pixel is one XPS unit (1/96 inch).
    AddImageBrush(page, x, y, width, height, part, declaredWidth, declaredHeight);
    parts_.emplace_back(part.substr(1),
                        png ? PngDeclaring(declaredWidth, declaredHeight)
                            : JpegDeclaring(format == ImageFormat::ProgressiveJpeg,
                                            declaredWidth, declaredHeight));
}

void XpsDocumentBuilder::AddImagePart(int page, double x, double y, double width,
                                      double height, const std::vector<uint8_t>& bytes,
                                      const std::string& extension, double pixelWidth,
                                      double pixelHeight, double tile) {
    const std::string part = NewResourceName(extension);
    AddImageBrush(page, x, y, width, height, part, pixelWidth, pixelHeight, tile);
    parts_.emplace_back(part.substr(1), bytes);
}

void XpsDocumentBuilder::AddBrokenImage(int page, double x, double y, double width,
                                        double height, BrokenPart how) {
    const std::string part = NewResourceName(".png");
    AddImageBrush(page, x, y, width, height, part, 16, 16);
    if (how == BrokenPart::Garbage) {
        parts_.emplace_back(part.substr(1), std::vector<uint8_t>(kGarbage.begin(), kGarbage.end()));
    }
}

std::string XpsDocumentBuilder::AddTextInBrokenFont(int page, double x, double y, double size,
                                                    const std::string& text, BrokenPart how,
                                                    const std::string& samePart) {
    Page& target = PageAt(page);
    const std::string part = samePart.empty() ? NewResourceName(".ttf") : samePart;
    target.markup += "  <Glyphs Fill=\"#FF000000\" FontUri=\"" + part +
                     "\" FontRenderingEmSize=\"" + Number(size) + "\" OriginX=\"" + Number(x) +
                     "\" OriginY=\"" + Number(y) + "\" UnicodeString=\"" + EscapeXml(text) +
                     "\" />\n";
    if (std::find(target.resources.begin(), target.resources.end(), part) ==
        target.resources.end()) {
        target.resources.push_back(part);
    }
    if (how == BrokenPart::Garbage && samePart.empty()) {
        parts_.emplace_back(part.substr(1), std::vector<uint8_t>(kGarbage.begin(), kGarbage.end()));
    }
    return part;
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

namespace {

// An opacity mask brush from opaque at x to transparent at x + width.
std::string FadingMask(double x, double y, double width) {
    return "      <LinearGradientBrush MappingMode=\"Absolute\" StartPoint=\"" + Number(x) + "," + Number(y) +
           "\" EndPoint=\"" + Number(x + width) + "," + Number(y) + "\">\n" +
           "        <LinearGradientBrush.GradientStops>\n"
           "          <GradientStop Color=\"#FF000000\" Offset=\"0\" />\n"
           "          <GradientStop Color=\"#00000000\" Offset=\"1\" />\n"
           "        </LinearGradientBrush.GradientStops>\n"
           "      </LinearGradientBrush>\n";
}

}  // namespace

void XpsDocumentBuilder::AddFadedRect(int page, double x, double y, double width, double height,
                                      uint32_t colour) {
    PageAt(page).markup +=
        "  <Path Fill=\"" + Colour(colour) + "\" Data=\"" + RectangleData(x, y, width, height) +
        "\">\n    <Path.OpacityMask>\n" + FadingMask(x, y, width) + "    </Path.OpacityMask>\n  </Path>\n";
}

void XpsDocumentBuilder::AddCappedLine(int page, double x0, double y0, double x1, double y1,
                                       double thickness, uint32_t colour) {
    PageAt(page).markup += "  <Path Stroke=\"" + Colour(colour) + "\" StrokeThickness=\"" +
                           Number(thickness) +
                           "\" StrokeStartLineCap=\"Triangle\" StrokeEndLineCap=\"Round\" "
                           "Data=\"M " + Number(x0) + "," + Number(y0) + " L " + Number(x1) +
                           "," + Number(y1) + "\" />\n";
}

void XpsDocumentBuilder::AddMaskedText(int page, double x, double y, double width,
                                       double height, uint32_t colour, const std::string& text) {
    Page& target = PageAt(page);
    target.markup +=
        "  <Canvas>\n    <Canvas.OpacityMask>\n" + FadingMask(x, y, width) + "    </Canvas.OpacityMask>\n"
        "    <Path Fill=\"" + Colour(colour) + "\" Data=\"" + RectangleData(x, y, width, height) +
        "\" />\n    <Glyphs Fill=\"#FF000000\" FontUri=\"" + kFontPart +
        "\" FontRenderingEmSize=\"" + Number(height / 6) + "\" OriginX=\"" +
        Number(x + height / 8) + "\" OriginY=\"" + Number(y + height * 0.6) +
        "\" UnicodeString=\"" + EscapeXml(text) + "\" />\n  </Canvas>\n";
    target.usesFont = true;
    textUsed_ += DecodeUtf8(text);
}

void XpsDocumentBuilder::AddBrushMaskedRect(int page, double x, double y, double width,
                                            double height, uint32_t colour, MaskBrush brush,
                                            double cell) {
    Page& target = PageAt(page);
    std::string mask;
    if (brush == MaskBrush::Image) {
        mask = "<ImageBrush ImageSource=\"" + std::string(kImagePart) +
               "\" Viewbox=\"0,0,16,16\" ViewboxUnits=\"Absolute\" Viewport=\"" +
               Number(x + width / 3) + "," + Number(y + height / 3) + "," + Number(width / 3) +
               "," + Number(height / 3) + "\" ViewportUnits=\"Absolute\" />";
        target.usesImage = true;
    } else {
        std::string c = Number(cell);
        mask = "<VisualBrush Viewbox=\"0,0," + c + "," + c +
               "\" ViewboxUnits=\"Absolute\" Viewport=\"" + Number(x) + "," + Number(y) + "," +
               c + "," + c + "\" ViewportUnits=\"Absolute\" TileMode=\"Tile\">"
               "<VisualBrush.Visual><Path Fill=\"#FF000000\" Data=\"" +
               RectangleData(0, 0, cell / 2, cell / 2) +
               "\" /></VisualBrush.Visual></VisualBrush>";
    }
    target.markup += "  <Path Fill=\"" + Colour(colour) + "\" Data=\"" +
                     RectangleData(x, y, width, height) + "\">\n    <Path.OpacityMask>" + mask +
                     "</Path.OpacityMask>\n  </Path>\n";
}

void XpsDocumentBuilder::AddGradientStroke(int page, const std::vector<double>& points,
                                           double thickness, uint32_t from, uint32_t to) {
    if (points.size() < 4) return;
    std::string data = "M " + Number(points[0]) + "," + Number(points[1]) + " L";
    double left = points[0], right = points[0];
    for (size_t i = 2; i + 1 < points.size(); i += 2) {
        data += " " + Number(points[i]) + "," + Number(points[i + 1]);
        left = std::min(left, points[i]);
        right = std::max(right, points[i]);
    }
    PageAt(page).markup +=
        "  <Path StrokeThickness=\"" + Number(thickness) + "\" Data=\"" + data +
        "\">\n    <Path.Stroke>\n      <LinearGradientBrush MappingMode=\"Absolute\" "
        "StartPoint=\"" + Number(left) + "," + Number(points[1]) + "\" EndPoint=\"" +
        Number(right) + "," + Number(points[1]) + "\">\n" +
        GradientStops("LinearGradientBrush", from, to) +
        "      </LinearGradientBrush>\n    </Path.Stroke>\n  </Path>\n";
}

void XpsDocumentBuilder::AddStyledLine(int page, double x0, double y0, double x1, double y1,
                                       double thickness, uint32_t colour,
                                       const std::string& startCap, const std::string& endCap,
                                       const std::string& dashes, const std::string& dashCap) {
    std::string dashing;
    if (!dashes.empty()) {
        dashing = "StrokeDashArray=\"" + dashes + "\" StrokeDashCap=\"" + dashCap + "\" ";
    }
    PageAt(page).markup += "  <Path Stroke=\"" + Colour(colour) + "\" StrokeThickness=\"" +
                           Number(thickness) + "\" StrokeStartLineCap=\"" + startCap +
                           "\" StrokeEndLineCap=\"" + endCap + "\" " + dashing + "Data=\"M " +
                           Number(x0) + "," + Number(y0) + " L " + Number(x1) + "," + Number(y1) +
                           "\" />\n";
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

    const std::string markupNamespace = openXps_ ? kOpenXpsNamespace : kXpsNamespace;
    const std::string startType = markupNamespace + "/fixedrepresentation";
    const std::string requiredType = markupNamespace + "/required-resource";
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
                "  <Default Extension=\"png\" ContentType=\"image/png\" />\n"
                "  <Default Extension=\"struct\" "
                "ContentType=\"application/vnd.ms-package.xps-documentstructure+xml\" />\n"
                "  <Override PartName=\"/metadata/properties.xml\" "
                "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\" />\n"
                "</Types>\n");
    zip.Add("_rels/.rels",
            std::string(kXmlHead) + "<Relationships xmlns=\"" + kRelationshipsNamespace +
                "\">\n  <Relationship Id=\"R0\" Type=\"" + startType +
                "\" Target=\"/FixedDocumentSequence.fdseq\" />\n" +
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
            std::string(kXmlHead) + "<FixedDocumentSequence xmlns=\"" + markupNamespace +
                "\">\n  <DocumentReference Source=\"/Documents/1/FixedDocument.fdoc\" />\n"
                "</FixedDocumentSequence>\n");
    std::string fdoc =
        std::string(kXmlHead) + "<FixedDocument xmlns=\"" + markupNamespace + "\">\n";
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
        const std::string markup =
            std::string(kXmlHead) + "<FixedPage xmlns=\"" + markupNamespace +
            "\" xml:lang=\"en-US\" Width=\"" + Number(page.width) + "\" Height=\"" +
            Number(page.height) + "\"" + PageAttributes(i) + ">\n" + page.markup + "</FixedPage>\n";
        if (page.pieced) {
            const size_t third = markup.size() / 3;
            zip.Add("Documents/1/Pages/" + name + "/[0].piece", markup.substr(0, third));
            zip.Add("Documents/1/Pages/" + name + "/[1].piece", markup.substr(third, third));
            zip.Add("Documents/1/Pages/" + name + "/[2].last.piece", markup.substr(2 * third));
        } else {
            zip.Add("Documents/1/Pages/" + name, markup);
        }
        std::vector<std::string> needed = page.resources;
        if (page.usesFont) needed.push_back(kFontPart);
        if (page.usesImage) needed.push_back(kImagePart);
        if (needed.empty()) continue;
        std::string rels =
            std::string(kXmlHead) + "<Relationships xmlns=\"" + kRelationshipsNamespace + "\">\n";
        for (size_t k = 0; k < needed.size(); ++k) {
            rels += "  <Relationship Id=\"R" + std::to_string(k) + "\" Type=\"" + requiredType +
                    "\" Target=\"" + needed[k] + "\" />\n";
        }
        zip.Add("Documents/1/Pages/_rels/" + name + ".rels", rels + "</Relationships>\n");
    }
    if (anyFont) zip.Add(std::string(kFontPart).substr(1), font);
    if (anyImage) {
        zip.Add(std::string(kImagePart).substr(1),
                std::vector<uint8_t>(std::begin(kFlatJpeg), std::end(kFlatJpeg)));
    }
    for (const auto& [name, bytes] : parts_) zip.Add(name, bytes);
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
