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

// A four-colour JPEG whose Adobe marker says its values are stored inverted (as most print
// software writes them; ImageMagick writes YCCK) keeps its colours in the PDF: MuPDF draws each
// band as the engine's page image does; poppler, which converts CMYK through a colour profile,
// in the same hue.
TEST_F(PdfTransparencyTest, AdobeCmykJpegsKeepTheirColours) {
    const std::string made = dir_ / "cmyk.jpg";
    ASSERT_EQ(RunShell("convert -size 48x16 xc:red xc:lime xc:blue -append -colorspace CMYK "
                       "-quality 95 " + ShellQuote(made)).exitCode, 0);
    const std::string bytes = ReadFile(made);
    ASSERT_NE(bytes.find("Adobe"), std::string::npos) << "the marker is expected";
    xpsfixture::XpsDocumentBuilder doc;
    const int page = doc.AddPage(kPage1Width, kPage1Height);
    // Three bands of 80 units each from y = 96.
    doc.AddImagePart(page, 96, 96, 240, 240, std::vector<uint8_t>(bytes.begin(), bytes.end()),
                     ".jpg", 48, 48);
    const std::string pdf = Convert(doc);
    RunEngine({"-sDEVICE=bmp16m", "-r96x96", "-sOutputFile=" + (dir_ / "page%03d.bmp"), xps_});
    RunShell("mutool draw -q -r 96 -o " + ShellQuote(dir_ / "mupdf.ppm") + " " + ShellQuote(pdf) + " 1");
    RunShell("pdftoppm -r 96 -f 1 -l 1 " + ShellQuote(pdf) + " " + ShellQuote(dir_ / "poppler"));
    DecodedImage direct, mupdf, poppler;
    ASSERT_TRUE(DecodeBmp(dir_ / "page001.bmp", dir_.str(), direct));
    ASSERT_TRUE(ReadPnm(dir_ / "mupdf.ppm", mupdf));
    ASSERT_TRUE(ReadPnm(dir_ / "poppler-1.ppm", poppler));
    for (int band = 0; band < 3; ++band) {
        const int y = 136 + 80 * band;
        const RgbPixel expected = direct.At(216, y);
        EXPECT_TRUE(Near(expected, Rgb(band == 0 ? 0xFF0000 : band == 1 ? 0x00FF00 : 0x0000FF), 8));
        EXPECT_TRUE(Near(mupdf.At(216, y), expected, 8)) << "band " << band;
        const RgbPixel p = poppler.At(216, y);
        const int channel[3] = {p.r, p.g, p.b};
        EXPECT_GT(channel[band], 140) << "band " << band;
        EXPECT_LT(channel[(band + 1) % 3], channel[band] / 2) << "band " << band;
        EXPECT_LT(channel[(band + 2) % 3], channel[band] / 2) << "band " << band;
    }
}

}  // namespace
