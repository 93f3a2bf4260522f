// Page images drawn on several threads: the same files, byte for byte, as one thread writes;
// failures reported in page order; and the row conversion exact for every pixel position.

#include <gtest/gtest.h>

#include <algorithm>

#include "engine_test_support.h"

namespace {

using namespace enginetest;

ShellResult RenderBitmaps(const std::string& document, const std::string& pattern,
                          const std::string& resolution, int threads) {
    return RunEngine({"-sDEVICE=bmp16m", "-dNumRenderingThreads=" + std::to_string(threads),
                      "-sOutputFile=" + pattern, resolution, document});
}

std::vector<std::string> ErrorLines(const std::string& err) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = err.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(err.substr(start, end - start));
    }
    return lines;
}

// Pages of every kind the renderer draws differently, of different sizes; the large page is
// drawn in several bands.
void WriteVariedDocument(const std::string& path) {
    xpsfixture::XpsDocumentBuilder doc;
    for (int i = 0; i < 3; ++i) {
        int page = doc.AddPage(kPage1Width, kPage1Height);
        doc.AddRect(page, 40 + 30 * i, 50, 200, 100, 0xC03020 + 0x101010 * i);
        doc.AddText(page, 96, 300, 14 + 6 * i, "Page text, line " + std::to_string(i));
        doc.AddImage(page, 300, 500, 200 + 40 * i, 150);
    }
    int shaded = doc.AddPage(kPage2Width, kPage2Height);
    doc.AddLinearGradient(shaded, 20, 20, 500, 300, 0xFF0000, 0x0000FF);
    doc.AddRadialGradient(shaded, 540, 20, 400, 300, 0xFFFFFF, 0x008000);
    doc.AddFadedRect(shaded, 20, 400, 500, 200, 0x800080);
    int tiled = doc.AddPage(500, 700);
    doc.AddTiledSquares(tiled, 10, 10, 480, 300, 40, 0x0080FF);
    doc.AddTiledImage(tiled, 10, 350, 480, 300, 64);
    doc.AddCappedLine(tiled, 30, 680, 470, 660, 9, 0x202020);
    // 2600 x 2600 pixels at 96 dpi: more than one band of the renderer.
    int large = doc.AddPage(2600, 2600);
    doc.AddLinearGradient(large, 0, 0, 2600, 2600, 0xFFFF00, 0x00FFFF);
    doc.AddText(large, 100, 1310, 80, "Across the band edge");
    for (int i = 0; i < 4; ++i) {
        int page = doc.AddPage(300 + 50 * i, 200);
        doc.AddRect(page, 10, 10, 30 + 20 * i, 40, 0x00A000);
        doc.AddText(page, 10, 120, 20, "Small " + std::to_string(i));
    }
    ASSERT_TRUE(doc.WriteTo(path));
}

TEST(BmpThreadsTest, AnyNumberOfThreadsWritesTheSameFiles) {
    TempDir dir;
    std::string document = dir / "varied.xps";
    WriteVariedDocument(document);
    for (const char* resolution : {"-r96x96", "-r61x97"}) {
        SCOPED_TRACE(resolution);
        TempDir one, many;
        ShellResult single = RenderBitmaps(document, one / "p_%03d.bmp", resolution, 1);
        ASSERT_EQ(single.exitCode, 0) << single.err;
        for (int threads : {2, 5}) {
            SCOPED_TRACE(threads);
            ShellResult parallel =
                RenderBitmaps(document, many / "p_%03d.bmp", resolution, threads);
            ASSERT_EQ(parallel.exitCode, 0) << parallel.err;
            EXPECT_EQ(parallel.err, "");
            std::vector<std::string> names = ListNames(one.str());
            ASSERT_EQ(names.size(), 10u);
            ASSERT_EQ(ListNames(many.str()), names);  // no temporary file left either
            for (const std::string& name : names) {
                ShellResult same =
                    RunShell("cmp " + ShellQuote(one / name) + " " + ShellQuote(many / name));
                EXPECT_EQ(same.exitCode, 0) << same.out << same.err;
            }
        }
    }
}

TEST(BmpThreadsTest, FailedPagesAreBlankAndReportedInPageOrder) {
    REQUIRE_TOOLS("convert");
    TempDir dir;
    xpsfixture::XpsDocumentBuilder doc;
    for (int page = 1; page <= 7; ++page) {
        if (page == 2 || page == 5) {
            doc.AddMissingPage(96, 192);
        } else {
            doc.AddRect(doc.AddPage(96 * page, 96), 0, 0, 48, 48, 0x0000FF);
        }
    }
    std::string document = dir / "broken.xps";
    ASSERT_TRUE(doc.WriteTo(document));
    ShellResult run = RenderBitmaps(document, dir / "p_%03d.bmp", "-r96x96", 4);
    EXPECT_EQ(run.exitCode, 1);
    std::vector<std::string> lines = ErrorLines(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_NE(lines[0].find("page 2"), std::string::npos) << run.err;
    EXPECT_NE(lines[1].find("page 5"), std::string::npos) << run.err;
    EXPECT_EQ(ListNames(dir.str()),
              (std::vector<std::string>{"broken.xps", "p_001.bmp", "p_002.bmp", "p_003.bmp",
                                        "p_004.bmp", "p_005.bmp", "p_006.bmp", "p_007.bmp"}));
    // A missing page takes the size of the page before it and is white.
    DecodedImage blank;
    ASSERT_TRUE(DecodeBmp(dir / "p_005.bmp", dir.str(), blank));
    EXPECT_EQ(blank.width, 96 * 4);
    EXPECT_EQ(blank.height, 96);
    EXPECT_TRUE(std::all_of(blank.pixels.begin(), blank.pixels.end(),
                            [](const RgbPixel& p) { return Near(p, Rgb(0xFFFFFF)); }));
    DecodedImage last;
    ASSERT_TRUE(DecodeBmp(dir / "p_007.bmp", dir.str(), last));
    EXPECT_EQ(last.width, 96 * 7);
    EXPECT_TRUE(Near(last.At(10, 10), Rgb(0x0000FF)));
}

TEST(BmpThreadsTest, UnwritableFolderGivesOneErrorWhateverTheThreads) {
    TempDir dir;
    std::string document = dir / "doc.xps";
    WriteTestDocument(document);
    ShellResult run = RenderBitmaps(document, dir / "absent/p_%03d.bmp", "-r72x72", 3);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ErrorLines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(ListNames(dir.str()), (std::vector<std::string>{"doc.xps"}));
}

TEST(BmpThreadsTest, ThreadCountMustBeAPositiveNumber) {
    TempDir dir;
    std::string document = dir / "doc.xps";
    WriteTestDocument(document);
    for (const char* count : {"0", "-2", "many"}) {
        ShellResult run =
            RunEngine({"-sDEVICE=bmp16m", std::string("-dNumRenderingThreads=") + count,
                       "-sOutputFile=" + (dir / "p_%03d.bmp"), document});
        EXPECT_EQ(run.exitCode, 2) << count;
        EXPECT_EQ(ErrorLines(run.err).size(), 1u) << run.err;
    }
    EXPECT_EQ(ListNames(dir.str()), (std::vector<std::string>{"doc.xps"}));
}

// Every pixel of rows of several widths, each column its own colour, read back byte for byte
// in the file's blue, green, red order with the row padding zero.
TEST(BmpThreadsTest, EveryColumnKeepsItsColour) {
    auto colourOf = [](int x) {
        return static_cast<uint32_t>(((x * 37 + 11) & 255) << 16 | ((x * 71 + 3) & 255) << 8 |
                                     ((x * 113 + 29) & 255));
    };
    TempDir dir;
    for (int width : {2, 5, 6, 13, 16, 31}) {
        SCOPED_TRACE(width);
        xpsfixture::XpsDocumentBuilder doc;
        int page = doc.AddPage(width, 2);
        for (int x = 0; x < width; ++x) doc.AddRect(page, x, 0, 1, 2, colourOf(x));
        std::string document = dir / (std::string("w") + std::to_string(width) + ".xps");
        ASSERT_TRUE(doc.WriteTo(document));
        std::string bmp = dir / (std::string("w") + std::to_string(width) + ".bmp");
        ShellResult run = RenderBitmaps(document, bmp, "-r96x96", 2);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::vector<uint8_t> bytes = ReadFileBytes(bmp);
        const size_t rowSize = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
        ASSERT_EQ(bytes.size(), 54 + 2 * rowSize);
        for (int row = 0; row < 2; ++row) {
            const uint8_t* p = bytes.data() + 54 + row * rowSize;
            for (int x = 0; x < width; ++x) {
                uint32_t c = colourOf(x);
                EXPECT_EQ(p[3 * x], c & 255) << "x " << x;
                EXPECT_EQ(p[3 * x + 1], (c >> 8) & 255) << "x " << x;
                EXPECT_EQ(p[3 * x + 2], c >> 16) << "x " << x;
            }
            for (size_t pad = static_cast<size_t>(width) * 3; pad < rowSize; ++pad) {
                EXPECT_EQ(p[pad], 0);
            }
        }
    }
}

}  // namespace
