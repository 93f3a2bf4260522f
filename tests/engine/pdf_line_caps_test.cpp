// Each end of a stroke and of each dash takes the cap XPS gives it (start, end or dash cap;
// flat, square, round or triangle), though PDF has one cap per stroke: every line of the PDF,
// drawn by MuPDF and by poppler, looks as the engine's own page image draws it.

#include <gtest/gtest.h>

#include <vector>

#include "engine_test_support.h"
#include "pdf_pixel_oracle.h"

namespace {

using namespace enginetest;

// A wrong cap at an end of a line raises its box above 0.04; a wrong dash cap its row above
// 0.025. Drawn alike, they stay below 0.017.
constexpr double kMaxRmse = 0.02;
constexpr double kEnd = 40;  // half the side of the box around each end of a line

struct Line {
    const char* start;
    const char* end;
    const char* dashes;
    const char* dashCap;
};

TEST(PdfLineCapsTest, StartEndAndDashCapsAreDrawnAsInThePageImage) {
    REQUIRE_TOOLS("mutool", "pdftoppm", "compare", "convert");
    const std::vector<Line> lines = {
        {"Flat", "Round", "2 1.5", "Flat"},        {"Round", "Triangle", "2 1.5", "Square"},
        {"Triangle", "Square", "2 1.5", "Round"},  {"Square", "Flat", "2 1.5", "Triangle"},
        {"Flat", "Flat", "1 1", "Round"},          {"Round", "Round", "0 2", "Flat"},
        {"Triangle", "Triangle", "", "Flat"},      {"Round", "Flat", "", "Flat"},
        {"Square", "Triangle", "", "Flat"},        {"Triangle", "Round", "3 1 1 1", "Square"},
    };
    constexpr double kRow = 80, kTop = 80, kThickness = 16;
    xpsfixture::XpsDocumentBuilder doc;
    int page = doc.AddPage(kPage1Width, kPage1Height);
    for (size_t i = 0; i < lines.size(); ++i) {
        const double y = kTop + kRow * i;
        doc.AddStyledLine(page, 120, y, 690, y + 12, kThickness, 0x2040C0, lines[i].start,
                          lines[i].end, lines[i].dashes, lines[i].dashCap);
    }
    // Below the last dashed line, a stroke drawn through a soft mask (a form): it must not take
    // up the dash pattern left in force.
    const double gradientRow = kTop + kRow * lines.size();
    doc.AddGradientStroke(page, {120, gradientRow, 400, gradientRow + 6, 690, gradientRow},
                          kThickness, 0x00C040, 0x6000E0);
    TempDir dir;
    std::string xps = dir / "caps.xps";
    ASSERT_TRUE(doc.WriteTo(xps));
    std::string pdf = dir / "caps.pdf";
    ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, xps});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    OraclePages pages = RenderBoth(xps, pdf, dir.str());
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(std::string(lines[i].start) + "/" + lines[i].end + " dashes '" +
                     lines[i].dashes + "' " + lines[i].dashCap);
        const double y = kTop + kRow * i - kRow / 2 + 6;
        // The whole row (its dash caps), and the box around each end of the line.
        struct Span {
            double x, w;
        };
        for (Span span : {Span{80, 660}, Span{120 - kEnd, 2 * kEnd}, Span{690 - kEnd, 2 * kEnd}}) {
            EXPECT_LE(BoxRmse(pages.bmp, pages.mupdf, span.x, y, span.w, kRow, dir.str()),
                      kMaxRmse) << "mutool, box at " << span.x;
            EXPECT_LE(BoxRmse(pages.bmp, pages.poppler, span.x, y, span.w, kRow, dir.str()),
                      kMaxRmse) << "poppler, box at " << span.x;
        }
    }
    const double y = gradientRow - kRow / 2;
    EXPECT_LE(BoxRmse(pages.bmp, pages.mupdf, 80, y, 660, kRow, dir.str()), kMaxRmse);
    EXPECT_LE(BoxRmse(pages.bmp, pages.poppler, 80, y, 660, kRow, dir.str()), kMaxRmse);
}

}  // namespace
