// Where, how and in which colour the overlay appears, judged from pages rendered by poppler.

#include <string>

#include "postproc/postproc_fixture.h"

namespace postproc_test {
namespace {

// Helvetica metrics the expectations are built from (thousandths of the font size).
constexpr double kCapHeight = 0.718;
constexpr double kDescender = 0.207;
constexpr double kWidthH = 0.722;
constexpr double kLeftBearingH = 0.076;
constexpr double kInkRightH = 0.646;
constexpr double kMargin = 10.0;  // the library's distance from the page edge
constexpr int kTolerance = 2;     // pixels, for anti-aliasing and hinting

const TestPage kBlankPage{"% nothing drawn"};

// Ink of "HHHH" relative to the centre of its text box, y upward.
struct Extent {
    double left, right, bottom, top;
};
Extent InkOfFourH(double size) {
    const double width = 4 * kWidthH * size;
    const double height = (kCapHeight + kDescender) * size;
    return {-width / 2 + kLeftBearingH * size, -width / 2 + (3 * kWidthH + kInkRightH) * size,
            -height / 2 + kDescender * size, height / 2};
}

// The expected pixel box of ink centred at (cx, cy) on a page `pageHeight` points high.
Box ExpectedBox(const Extent& ink, double cx, double cy, double pageHeight) {
    return {static_cast<int>(cx + ink.left), static_cast<int>(pageHeight - (cy + ink.top)),
            static_cast<int>(cx + ink.right), static_cast<int>(pageHeight - (cy + ink.bottom))};
}

void ExpectBoxNear(const Box& actual, const Box& expected, const std::string& what) {
    EXPECT_NEAR(actual.left, expected.left, kTolerance) << what;
    EXPECT_NEAR(actual.top, expected.top, kTolerance) << what;
    EXPECT_NEAR(actual.right, expected.right, kTolerance) << what;
    EXPECT_NEAR(actual.bottom, expected.bottom, kTolerance) << what;
}

Overlay FourH(int position) {
    Overlay overlay;
    overlay.text = "HHHH";
    overlay.size = 40;
    overlay.position = position;
    return overlay;
}

TEST_F(PostProcessorTest, NineAnchorsPlaceTheTextByItsHelveticaWidth) {
    const double width = 300;
    const double height = 200;
    const Extent ink = InkOfFourH(40);
    const double halfText = 4 * kWidthH * 40 / 2;
    const double halfHeight = (kCapHeight + kDescender) * 40 / 2;
    const double left = kMargin + halfText;
    const double right = width - kMargin - halfText;
    const double top = height - kMargin - halfHeight;
    const double bottom = kMargin + halfHeight;
    struct Anchor {
        int position;
        double cx, cy;
    };
    const Anchor anchors[] = {{1, 150, 100},     {2, left, top},   {3, 150, top},
                              {4, right, top},   {5, left, 100},   {6, right, 100},
                              {7, left, bottom}, {8, 150, bottom}, {9, right, bottom},
                              {0, 150, 100},     {12, 150, 100}};
    for (const Anchor& anchor : anchors) {
        const std::string name = std::string("p") + std::to_string(anchor.position) + ".pdf";
        WriteBytes(Path(name), MakePdf({kBlankPage}));
        ASSERT_EQ(Stamp(Path(name), FourH(anchor.position)), 1);
        const Pixmap pixmap = RenderPage(Path(name), 1);
        ASSERT_EQ(pixmap.width, 300);
        ExpectBoxNear(FindColour(pixmap, 255, 0, 0), ExpectedBox(ink, anchor.cx, anchor.cy, height),
                      "position " + std::to_string(anchor.position));
    }
}

TEST_F(PostProcessorTest, ColourIsReadAsBlueGreenRed) {
    const struct {
        int colorRef;
        int red, green, blue;
    } colours[] = {{0x0000FF, 255, 0, 0},
                   {0x00FF00, 0, 255, 0},
                   {0xFF0000, 0, 0, 255},
                   {0x804020, 0x20, 0x40, 0x80}};
    for (const auto& colour : colours) {
        WriteBytes(Path("a.pdf"), MakePdf({kBlankPage}));
        Overlay overlay = FourH(1);
        overlay.color = colour.colorRef;
        ASSERT_EQ(Stamp(Path("a.pdf"), overlay), 1);
        const Pixmap pixmap = RenderPage(Path("a.pdf"), 1);
        // The centre of the middle stroke of the second H is solid ink.
        const double inkTop = 100 + (kCapHeight + kDescender) * 40 / 2;
        const int x = static_cast<int>(150 - kWidthH * 40 + 0.361 * 40);
        const int y = static_cast<int>(200 - inkTop + kCapHeight * 40 / 2);
        const Box stroke = FindColour(pixmap, colour.red, colour.green, colour.blue);
        ASSERT_FALSE(stroke.empty()) << std::hex << colour.colorRef;
        const uint8_t* pixel = pixmap.at(x, y);
        EXPECT_NEAR(pixel[0], colour.red, 8) << std::hex << colour.colorRef;
        EXPECT_NEAR(pixel[1], colour.green, 8) << std::hex << colour.colorRef;
        EXPECT_NEAR(pixel[2], colour.blue, 8) << std::hex << colour.colorRef;
    }
}

TEST_F(PostProcessorTest, OffsetsMoveRightAndUpAndRotationTurnsAboutTheCentre) {
    const Extent ink = InkOfFourH(40);

    WriteBytes(Path("offset.pdf"), MakePdf({kBlankPage}));
    Overlay moved = FourH(1);
    moved.x = 30;
    moved.y = 20;
    ASSERT_EQ(Stamp(Path("offset.pdf"), moved), 1);
    ExpectBoxNear(FindColour(RenderPage(Path("offset.pdf"), 1), 255, 0, 0),
                  ExpectedBox(ink, 180, 120, 200), "offset");

    WriteBytes(Path("turned.pdf"), MakePdf({kBlankPage}));
    Overlay turned = FourH(1);
    turned.rotation = 90;
    ASSERT_EQ(Stamp(Path("turned.pdf"), turned), 1);
    // A quarter turn anticlockwise maps (x, y) to (-y, x).
    const Extent quarter{-ink.top, -ink.bottom, ink.left, ink.right};
    ExpectBoxNear(FindColour(RenderPage(Path("turned.pdf"), 1), 255, 0, 0),
                  ExpectedBox(quarter, 150, 100, 200), "rotation 90");
}

// A big "L" at the top left: its stem must be on the left and its foot at the bottom as the page
// is displayed, whatever /Rotate and crop box the page has.
void ExpectUprightLAtTopLeft(const Pixmap& pixmap, const std::string& what) {
    ASSERT_EQ(pixmap.width, 300) << what;
    ASSERT_EQ(pixmap.height, 200) << what;
    const Box box = FindColour(pixmap, 255, 0, 0);
    ASSERT_FALSE(box.empty()) << what;
    // Ink of "L" (bearing 0.076, ink right 0.537 of the size, cap height) at size 60.
    const double size = 60;
    const double textTop = kMargin;
    const double textLeft = kMargin;
    ExpectBoxNear(box,
                  Box{static_cast<int>(textLeft + 0.076 * size), static_cast<int>(textTop),
                      static_cast<int>(textLeft + 0.537 * size),
                      static_cast<int>(textTop + kCapHeight * size)},
                  what);
    auto red = [&](int x, int y) {
        const uint8_t* pixel = pixmap.at(x, y);
        return pixel[0] > 200 && pixel[1] < 80 && pixel[2] < 80;
    };
    EXPECT_TRUE(red(box.left + 2, box.top + 3)) << what << ": stem top";
    EXPECT_FALSE(red(box.right - 2, box.top + 3)) << what << ": top right is empty";
    EXPECT_TRUE(red(box.right - 2, box.bottom - 2)) << what << ": foot end";
}

TEST_F(PostProcessorTest, PageRotationAndCropBoxAreHonoured) {
    const struct {
        const char* name;
        const char* mediaBox;
        const char* extra;
    } pages[] = {
        {"plain", "0 0 300 200", ""},
        {"rotate90", "0 0 200 300", "/Rotate 90"},
        {"rotate180", "0 0 300 200", "/Rotate 180"},
        {"rotate270", "0 0 200 300", "/Rotate -90"},
        {"cropped", "-50 -40 400 300", "/CropBox [50 60 350 260]"},
        {"cropped90", "0 0 400 400", "/CropBox [100 50 300 350] /Rotate 90"},
    };
    for (const auto& page : pages) {
        const std::string name = std::string(page.name) + ".pdf";
        WriteBytes(Path(name), MakePdf({TestPage{"% blank", page.mediaBox, page.extra}}));
        Overlay overlay;
        overlay.text = "L";
        overlay.size = 60;
        overlay.position = 2;
        ASSERT_EQ(Stamp(Path(name), overlay), 1) << page.name;
        ExpectUprightLAtTopLeft(RenderPage(Path(name), 1), page.name);
    }
}

TEST_F(PostProcessorTest, BehindIsHiddenByOpaqueContentOnTopIsNot) {
    const TestPage filled{"0 1 0 rg 0 0 300 200 re f"};
    const Extent ink = InkOfFourH(40);

    WriteBytes(Path("behind.pdf"), MakePdf({filled}));
    Overlay behind = FourH(1);
    behind.flag = 1;
    ASSERT_EQ(Stamp(Path("behind.pdf"), behind), 1);
    const Pixmap hidden = RenderPage(Path("behind.pdf"), 1);
    EXPECT_TRUE(FindColour(hidden, 255, 0, 0).empty());
    EXPECT_EQ(FindColour(hidden, 0, 255, 0).right, 299) << "the page content is drawn";
    EXPECT_NE(PageText(Path("behind.pdf"), 1).find("HHHH"), std::string::npos);

    WriteBytes(Path("top.pdf"), MakePdf({filled}));
    ASSERT_EQ(Stamp(Path("top.pdf"), FourH(1)), 1);
    ExpectBoxNear(FindColour(RenderPage(Path("top.pdf"), 1), 255, 0, 0),
                  ExpectedBox(ink, 150, 100, 200), "on top");
}

TEST_F(PostProcessorTest, PageGraphicsStateDoesNotLeakIntoTheOverlay) {
    // A scale, a tiny clip and another fill colour, then two saves left open: a single Q after
    // the page would restore only the changed state.
    const TestPage careless{"2 0 0 2 0 0 cm 0 0 10 10 re W n 0 0 1 rg 3 Tr q q"};
    WriteBytes(Path("a.pdf"), MakePdf({careless}));
    ASSERT_EQ(Stamp(Path("a.pdf"), FourH(1)), 1);
    ExpectBoxNear(FindColour(RenderPage(Path("a.pdf"), 1), 255, 0, 0),
                  ExpectedBox(InkOfFourH(40), 150, 100, 200), "after a careless page");
    EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote(Path("a.pdf").string())), 0);
}

TEST_F(PostProcessorTest, WidthsBeyondAsciiComeFromTheWinAnsiTable) {
    // Two AE ligatures (code 0xC6, width 1000, ink 8..951) at the top right: a wrong width
    // moves the left edge.
    WriteBytes(Path("a.pdf"), MakePdf({kBlankPage}));
    Overlay overlay;
    overlay.text = "\xC6\xC6";
    overlay.size = 40;
    overlay.position = 4;
    ASSERT_EQ(Stamp(Path("a.pdf"), overlay), 1);
    const double textLeft = 300 - kMargin - 2 * 40;
    const Box box = FindColour(RenderPage(Path("a.pdf"), 1), 255, 0, 0);
    EXPECT_NEAR(box.left, static_cast<int>(textLeft + 0.008 * 40), kTolerance);
    EXPECT_NEAR(box.right, static_cast<int>(textLeft + 1.951 * 40), kTolerance);
    EXPECT_NEAR(box.top, static_cast<int>(kMargin), kTolerance);
}

TEST_F(PostProcessorTest, NonPositiveSizeFallsBackToSixteenPoints) {
    WriteBytes(Path("a.pdf"), MakePdf({kBlankPage}));
    Overlay overlay = FourH(1);
    overlay.size = 0;
    ASSERT_EQ(Stamp(Path("a.pdf"), overlay), 1);
    ExpectBoxNear(FindColour(RenderPage(Path("a.pdf"), 1), 255, 0, 0),
                  ExpectedBox(InkOfFourH(16), 150, 100, 200), "size 0");
}

}  // namespace
}  // namespace postproc_test
