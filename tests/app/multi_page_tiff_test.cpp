// The multi-page TIFF of a whole run, read back with libtiff, tiffinfo and ImageMagick: pages
// in order with consecutive numbers even when a page in the middle cannot be read, and page
// files removed as they are converted rather than all held until the end.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "app/end_to_end_support.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

constexpr int kPages = 6;

// Page i (from 1) is 200 + 20 i units wide and filled with colour i; at 96 dpi a unit is a pixel.
uint32_t PageColour(int page) { return 0x204060u * static_cast<uint32_t>(page) & 0xFFFFFFu; }
uint32_t PageWidth(int page) { return 200 + 20 * static_cast<uint32_t>(page); }

void WriteDocument(const std::string& path) {
    xpsfixture::XpsDocumentBuilder doc;
    for (int page = 1; page <= kPages; ++page) {
        const int index = doc.AddPage(PageWidth(page), 150);
        doc.AddRect(index, 0, 0, PageWidth(page), 150, PageColour(page));
    }
    doc.WriteTo(path);
}

// The environment under which the test engine (tests/helpers/app_engine_program.cpp) runs the
// real engine into a side folder, then hands the pages over one at a time, 300 ms apart, page 3
// cut short so that it cannot be read. Before each page it logs how many page files are
// waiting in the page folder.
std::vector<std::string> RelayEnvironment(const TempDir& dir) {
    fs::create_directories(dir / "side");
    return {"XPSCONV_TEST_ENGINE=relay", "XPSCONV_TEST_REAL_ENGINE=" + InFolder(BuiltBinDir(), "proc.dll"),
            "XPSCONV_TEST_RELAY_FOLDER=" + (dir / "side"), "XPSCONV_TEST_RELAY_LOG=" + (dir / "waiting.log")};
}

struct TiffPage {
    uint32_t width = 0;
    uint16_t number = 0, compression = 0;
    std::string name;
};

std::vector<TiffPage> ReadPages(const std::string& path) {
    std::vector<TiffPage> pages;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) return pages;
    do {
        TiffPage page;
        uint16_t total = 0;
        char* name = nullptr;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &page.width);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &page.compression);
        TIFFGetField(tif, TIFFTAG_PAGENUMBER, &page.number, &total);
        if (TIFFGetField(tif, TIFFTAG_PAGENAME, &name)) page.name = name;
        pages.push_back(page);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

TEST(MultiPageTiff, UnreadableMiddlePageLeavesTheOthersInOrderAndPagesGoAsTheyAreDone) {
    REQUIRE_TOOLS("tiffinfo", "convert");
    TempDir dir;
    WriteDocument(dir / "doc.xps");
    ProgramFolder bin;
    bin.AddTestEngine();
    bin.AddRealPostProcessor();
    fs::create_directories(dir / "tmp");
    const ShellResult run = bin.Run(dir.str(), "-i doc.xps -t tif -mm -mc lzw -mx 96 -my 96 -o out", dir / "tmp",
                                    RelayEnvironment(dir));
    // The document is incomplete, and says so.
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("doc.xps: page 3: "), std::string::npos) << run.err;

    const std::string tif = dir / "out/doc.tif";
    const std::vector<TiffPage> pages = ReadPages(tif);
    const int sourcePages[] = {1, 2, 4, 5, 6};
    ASSERT_EQ(pages.size(), 5u);
    for (size_t i = 0; i < pages.size(); ++i) {
        const int source = sourcePages[i];
        EXPECT_EQ(pages[i].width, PageWidth(source)) << "page " << i + 1;
        EXPECT_EQ(pages[i].compression, COMPRESSION_LZW);
        EXPECT_EQ(pages[i].number, i + 1);
        EXPECT_EQ(pages[i].name, "Page " + std::to_string(i + 1));
        // Pixels through another reader.
        DecodedImage image;
        ASSERT_TRUE(DecodeWith(ImageMagick("convert") + " " + ShellQuote(tif + "[" + std::to_string(i) + "]") +
                                   " -depth 8 ppm:" + ShellQuote(dir / "page.ppm"),
                               dir / "page.ppm", image));
        EXPECT_TRUE(Near(image.At(10, 10), Rgb(PageColour(source)), 2)) << "page " << i + 1;
    }
    {
        const ShellResult info = RunShell("tiffinfo -D " + ShellQuote(tif) + " 2>&1 >/dev/null");
        EXPECT_EQ(info.out, "");
        const ShellResult numbers = RunShell("tiffinfo " + ShellQuote(tif) + " | grep 'Page Number'");
        EXPECT_EQ(numbers.out, "  Page Number: 1-1\n  Page Number: 2-2\n  Page Number: 3-3\n"
                               "  Page Number: 4-4\n  Page Number: 5-5\n");
    }

    // Each page file went as soon as it was converted: the engine never saw more than a
    // couple of them waiting (holding them all would have reached 5).
    std::istringstream log(ReadFile(dir / "waiting.log"));
    int most = 0, entries = 0;
    for (int waiting; log >> waiting; ++entries) most = std::max(most, waiting);
    EXPECT_EQ(entries, kPages);
    EXPECT_LE(most, 2);
    // Nothing is left in the temporary folder, and no temporary file beside the output.
    EXPECT_EQ(LeftInTemporaryFolder(dir / "tmp"), std::vector<std::string>{});
    EXPECT_EQ(ListNames(dir / "out"), std::vector<std::string>{"doc.tif"});
}

}  // namespace
