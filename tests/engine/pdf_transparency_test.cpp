// Opacity masks and brushes painted through strokes stay vectors in the PDF: the text under a
// mask can be found, no image stands in for the region, and the region looks as the engine's
// own page image draws it. Enlarged images are smoothed unless they are barcodes or line art.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <map>
#include <sstream>

#include "engine_test_support.h"
#include "pdf_pixel_oracle.h"

namespace {

using namespace enginetest;

constexpr double kMaxBoxRmse = 0.03;

// The rows pdfimages lists below its two header lines.
int ImageCount(const std::string& pdf) {
    std::string list = RunShell("pdfimages -list " + ShellQuote(pdf)).out;
    int lines = 0;
    for (char c : list) lines += c == '\n';
    return lines - 2;
}

std::string Uncompressed(const std::string& pdf, const TempDir& dir) {
    std::string qdf = dir / "qdf.pdf";
    RunShell("qpdf --qdf --object-streams=disable " + ShellQuote(pdf) + " " + ShellQuote(qdf));
    return ReadFile(qdf);
}

class PdfTransparencyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("mutool", "pdftoppm", "pdftotext", "pdfimages", "qpdf", "compare",
                      "convert");
    }

    std::string Convert(const xpsfixture::XpsDocumentBuilder& doc) {
        xps_ = dir_ / "in.xps";
        EXPECT_TRUE(doc.WriteTo(xps_));
        std::string pdf = dir_ / "out.pdf";
        ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, xps_});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return pdf;
    }

    // Both readers draw the box as the engine's page image does. Poppler places the cells of
    // any tiling pattern a pixel or so apart from MuPDF (RMSE 0.09 on a page-level tiled brush
    // as well), so boxes with tiles are left to MuPDF's reading.
    void ExpectBoxAsInBmp(const std::string& pdf, double x, double y, double w, double h,
                          bool tiled = false) {
        OraclePages pages = RenderBoth(xps_, pdf, dir_.str());
        EXPECT_LE(BoxRmse(pages.bmp, pages.mupdf, x, y, w, h, dir_.str()), kMaxBoxRmse) << "mutool";
        if (tiled) return;
        EXPECT_LE(BoxRmse(pages.bmp, pages.poppler, x, y, w, h, dir_.str()), kMaxBoxRmse)
            << "poppler";
    }

    TempDir dir_;
    std::string xps_;
};

TEST_F(PdfTransparencyTest, TextUnderAnOpacityMaskStaysTextInASoftMaskedGroup) {
    xpsfixture::XpsDocumentBuilder doc;
    int page = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddRect(page, 48, 48, 720, 400, 0xFFD0D0);  // the mask shows this through its fade
    doc.AddMaskedText(page, 96, 96, 600, 240, 0x008040, "Faded searchable words");
    doc.AddText(page, 96, 600, 24, "Plain words");
    std::string pdf = Convert(doc);

    std::string text = RunShell("pdftotext " + ShellQuote(pdf) + " -").out;
    EXPECT_NE(text.find("Faded searchable words"), std::string::npos) << text;
    EXPECT_NE(text.find("Plain words"), std::string::npos) << text;
    EXPECT_EQ(ImageCount(pdf), 0) << "no image stands in for the masked region";
    std::string content = Uncompressed(pdf, dir_);
    EXPECT_NE(content.find("/Luminosity"), std::string::npos);
    EXPECT_NE(content.find("/SMask"), std::string::npos);
    ExpectBoxAsInBmp(pdf, 48, 48, 720, 400);
}

// An image brush of a mask lets its own shape through; a tiled brush its tiles' shapes.
TEST_F(PdfTransparencyTest, ImageAndTiledMasksLetThroughWhatTheirBrushesCover) {
    using Brush = xpsfixture::XpsDocumentBuilder::MaskBrush;
    xpsfixture::XpsDocumentBuilder doc;
    int page = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddBrushMaskedRect(page, 96, 96, 600, 300, 0xC02080, Brush::Image);
    doc.AddBrushMaskedRect(page, 96, 500, 600, 300, 0x2080C0, Brush::TiledSquares, 60);
    std::string pdf = Convert(doc);
    EXPECT_NE(Uncompressed(pdf, dir_).find("/Luminosity"), std::string::npos);
    ExpectBoxAsInBmp(pdf, 48, 48, 720, 400);
    ExpectBoxAsInBmp(pdf, 48, 450, 720, 400, true);
}

TEST_F(PdfTransparencyTest, GradientStrokesAreShadingsSeenThroughTheStroke) {
    xpsfixture::XpsDocumentBuilder doc;
    int page = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddGradientStroke(page, {96, 200, 700, 260, 300, 480}, 24, 0xFF0000, 0x0000FF);
    doc.AddGradientStroke(page, {96, 700, 400, 640, 700, 760}, 6, 0x00C040, 0xFFC000);
    std::string pdf = Convert(doc);

    EXPECT_EQ(ImageCount(pdf), 0) << "the strokes are not images";
    EXPECT_NE(Uncompressed(pdf, dir_).find("/ShadingType 2"), std::string::npos);
    ExpectBoxAsInBmp(pdf, 48, 150, 720, 380);
    ExpectBoxAsInBmp(pdf, 48, 600, 720, 200);
}

// A QR-like 30 x 30 bilevel image enlarged 20 times stays sharp and a 40 x 40 image of 1600
// colours enlarged 3 times is smoothed, in the PDF (poppler smooths an enlargement of 4 times
// or more only when the image asks for it) as in the page image; a reduced image asks for
// nothing. Distinct colours inside each image's box tell sharp (no more than the source's)
// from smooth.
TEST_F(PdfTransparencyTest, BarcodesStaySharpAndPhotosAreSmoothedWhenEnlarged) {
    const std::string qr = dir_ / "qr.png";
    const std::string photo = dir_ / "photo.png";
    ASSERT_EQ(RunShell("convert -size 30x30 xc: -fx \"(i*7+j*13+i*j)%5<2\" -type bilevel " +
                       ShellQuote(qr)).exitCode, 0);
    ASSERT_EQ(RunShell("convert -size 40x40 xc: -channel R -fx i/w -channel G -fx j/h "
                       "-channel B -fx \"i*j/(w*h)\" +channel " + ShellQuote(photo)).exitCode, 0);
    auto bytes = [](const std::string& path) {
        const std::string b = ReadFile(path);
        return std::vector<uint8_t>(b.begin(), b.end());
    };
    xpsfixture::XpsDocumentBuilder doc;
    const int page = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddImagePart(page, 96, 48, 600, 600, bytes(qr), ".png", 30, 30);
    doc.AddImagePart(page, 96, 720, 120, 120, bytes(photo), ".png", 40, 40);
    doc.AddImage(page, 400, 720, 12, 8);
    const std::string pdf = Convert(doc);

    // pdfimages' columns: page num type width height color comp bpc enc interp ...
    std::map<std::string, std::string> interpolated;  // by width
    for (const std::string& line : Lines(RunShell("pdfimages -list " + ShellQuote(pdf)).out)) {
        std::istringstream row(line);
        std::vector<std::string> cells{std::istream_iterator<std::string>(row), {}};
        if (cells.size() > 9 && cells[2] == "image") interpolated[cells[3]] = cells[9];
    }
    EXPECT_EQ(interpolated["30"], "no");
    EXPECT_EQ(interpolated["40"], "yes");
    EXPECT_EQ(interpolated["16"], "no") << "reduced";

    // At 150 dpi the barcode is enlarged 31.25 times, the photo 4.6875 times.
    const OraclePages pages = RenderBoth(xps_, pdf, dir_.str());
    auto colours = [&](const std::string& image, double x, double y, double size) {
        const double k = kOracleDpi / 96.0;
        char crop[64];
        std::snprintf(crop, sizeof crop, "%dx%d+%d+%d", int(size * k), int(size * k),
                      int(x * k), int(y * k));
        return std::atoi(RunShell("convert " + ShellQuote(image) + " -crop " + crop +
                                  " +repage -format %k info:").out.c_str());
    };
    for (const std::string& image : {pages.bmp, pages.poppler}) {
        EXPECT_EQ(colours(image, 100, 52, 592), 2) << image << ": only black and white";
        EXPECT_GT(colours(image, 100, 724, 112), 1600) << image << ": blended colours";
    }
}

// The same JPEG bytes with their Adobe (APP14) segment left out: decoders then read the four
// components as plain CMYK.
std::string WithoutAdobeSegment(const std::string& jpeg) {
    const size_t at = jpeg.find("\xFF\xEE");
    if (at == std::string::npos || at + 4 > jpeg.size()) return jpeg;
    const size_t size = size_t(uint8_t(jpeg[at + 2])) << 8 | uint8_t(jpeg[at + 3]);
    std::string bare = jpeg;
    return bare.erase(at, 2 + size);
}

// The same JPEG bytes with an EXIF segment saying the picture is turned a quarter clockwise.
std::string TurnedByExif(const std::string& jpeg) {
    static const char kExif[] =
        "\xFF\xE1\x00\x22" "Exif\0\0" "MM\x00\x2A\x00\x00\x00\x08"
        "\x00\x01" "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00" "\x00\x00\x00\x00";
    std::string turned = jpeg;
    return turned.insert(2, kExif, sizeof kExif - 1);
}

// A four-colour JPEG keeps its colours in the PDF, with or without the Adobe marker that says
// its values are stored inverted (as most print software writes them; ImageMagick writes
// YCCK), also when an EXIF orientation is stated (the page image does not turn it) and inside a
// tile: MuPDF draws each band as the engine's page image does; poppler, which converts CMYK
// through a colour profile, draws the marked one in the same hue.
TEST_F(PdfTransparencyTest, CmykJpegsKeepTheirColours) {
    const std::string made = dir_ / "cmyk.jpg";
    ASSERT_EQ(RunShell("convert -size 48x16 xc:red xc:lime xc:blue -append -colorspace CMYK "
                       "-quality 95 " + ShellQuote(made)).exitCode, 0);
    const std::string marked = ReadFile(made);
    ASSERT_NE(marked.find("Adobe"), std::string::npos) << "the marker is expected";
    const std::string bare = WithoutAdobeSegment(marked);
    ASSERT_EQ(bare.find("Adobe"), std::string::npos);
    xpsfixture::XpsDocumentBuilder doc;
    const int page = doc.AddPage(kPage1Width, kPage1Height);
    // Squares of 201 units, each image's three bands 67 units high; the fourth square holds
    // tiles of 100 units (bands of 33) of a copy of the bare image with a comment added.
    std::string commented = bare;
    commented.insert(2, "\xFF\xFE\x00\x04ok", 6);
    const std::string images[4] = {marked, bare, TurnedByExif(bare), commented};
    for (int i = 0; i < 4; ++i) {
        doc.AddImagePart(page, 48 + 240 * (i % 3), 96 + 240 * (i / 3), 201, 201,
                         std::vector<uint8_t>(images[i].begin(), images[i].end()), ".jpg", 48, 48,
                         i == 3 ? 100 : 0);
    }
    const std::string pdf = Convert(doc);
    RunEngine({"-sDEVICE=bmp16m", "-r96x96", "-sOutputFile=" + (dir_ / "page%03d.bmp"), xps_});
    RunShell("mutool draw -q -r 96 -o " + ShellQuote(dir_ / "mupdf.ppm") + " " + ShellQuote(pdf) + " 1");
    RunShell("pdftoppm -r 96 -f 1 -l 1 " + ShellQuote(pdf) + " " + ShellQuote(dir_ / "poppler"));
    DecodedImage direct, mupdf, poppler;
    ASSERT_TRUE(DecodeBmp(dir_ / "page001.bmp", dir_.str(), direct));
    ASSERT_TRUE(ReadPnm(dir_ / "mupdf.ppm", mupdf));
    ASSERT_TRUE(ReadPnm(dir_ / "poppler-1.ppm", poppler));
    auto expectAsDirect = [&](int i, int x, int y) {
        x += 48 + 240 * (i % 3);
        y += 96 + 240 * (i / 3);
        EXPECT_TRUE(Near(mupdf.At(x, y), direct.At(x, y), 8)) << "image " << i << " at " << x << "," << y;
    };
    for (int band = 0; band < 3; ++band) {
        for (int i = 0; i < 3; ++i) {
            for (int across = 0; across < 3; ++across) expectAsDirect(i, 33 + 67 * across, 33 + 67 * band);
        }
        for (int tile = 0; tile < 2; ++tile) expectAsDirect(3, 50 + 100 * tile, 16 + 100 * tile + 33 * band);
    }
    for (int band = 0; band < 3; ++band) {
        const int y = 129 + 67 * band;
        const RgbPixel expected = direct.At(148, y);
        EXPECT_TRUE(Near(expected, Rgb(band == 0 ? 0xFF0000 : band == 1 ? 0x00FF00 : 0x0000FF), 8));
        const RgbPixel p = poppler.At(148, y);
        const int channel[3] = {p.r, p.g, p.b};
        EXPECT_GT(channel[band], 140) << "band " << band;
        EXPECT_LT(channel[(band + 1) % 3], channel[band] / 2) << "band " << band;
        EXPECT_LT(channel[(band + 2) % 3], channel[band] / 2) << "band " << band;
    }
}

}  // namespace
