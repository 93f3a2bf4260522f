// XPS to page images through the whole program: engine, page pipeline, every writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "app/end_to_end_support.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

class ImageEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TOOLS(ImageMagick("convert"));
        fs::create_directories(tmp);
        WriteTwoPageDocument(dir / "report.xps");
    }
    ShellResult Run(const std::string& arguments) { return RunConverter(dir.str(), arguments, tmp); }
    std::string Identify(const std::string& path, const std::string& format) {
        return RunShell(ImageMagick("identify") + " -format " + ShellQuote(format) + " " + ShellQuote(path + "[0]")).out;
    }
    TempDir dir;
    std::string tmp = dir / "tmp";
};

// Position of an XPS unit point at a resolution, in pixels.
int At(double units, int dpi) { return static_cast<int>(units * dpi / 96.0); }

TEST_F(ImageEndToEnd, EveryFormatShowsThePage) {
    struct Format {
        const char* type;
        const char* extension;
        int tolerance;
    };
    const Format formats[] = {{"bmp", ".bmp", 0},  {"png", ".png", 0},  {"jpg", ".jpg", 24}, {"gif", ".gif", 40},
                              {"tif", ".tif", 24}, {"pcx", ".pcx", 0},  {"tga", ".tga", 0},  {"jp2", ".jp2", 24},
                              {"jpc", ".jpc", 24}, {"ras", ".ras", 0}};
    for (const Format& format : formats) {
        const std::string out = dir / (std::string("out-") + format.type);
        const ShellResult result =
            Run(std::string("-i report.xps -mx 96 -my 96 -t ") + format.type + " -o " + ArgQuote(out));
        ASSERT_EQ(result.exitCode, 0) << format.type << ": " << result.err;
        const std::vector<std::string> expected = {std::string("report_001") + format.extension,
                                                   std::string("report_002") + format.extension};
        EXPECT_EQ(ListNames(out), expected) << format.type;
        DecodedImage page;
        ASSERT_TRUE(DecodeImage(out + "/report_001" + format.extension, page)) << format.type;
        EXPECT_EQ(page.width, 816) << format.type;
        EXPECT_EQ(page.height, 1056) << format.type;
        for (const Rect& r : {kRed, kGreen, kBlue}) {
            EXPECT_TRUE(Near(page.At(At(r.x + r.w / 2, 96), At(r.y + r.h / 2, 96)), Rgb(r.colour), format.tolerance))
                << format.type << " colour " << std::hex << r.colour;
        }
        EXPECT_TRUE(Near(page.At(700, 1000), RgbPixel{255, 255, 255}, format.tolerance)) << format.type;
    }
    EXPECT_EQ(LeftInTemporaryFolder(tmp), std::vector<std::string>{}) << "page folders must be removed";
}

TEST_F(ImageEndToEnd, ResolutionsSetPixelSizeAndDensity) {
    const std::pair<int, int> resolutions[] = {{72, 72}, {150, 150}, {300, 300}, {300, 150}};
    for (const auto& [x, y] : resolutions) {
        const std::string out = dir / ("out-" + std::to_string(x) + "x" + std::to_string(y));
        const std::string resolution = " -mx " + std::to_string(x) + " -my " + std::to_string(y);
        ASSERT_EQ(Run("-i report.xps -t png" + resolution + " -o " + ArgQuote(out)).exitCode, 0);
        EXPECT_EQ(Identify(out + "/report_001.png", "%w %h"), std::to_string(816 * x / 96) + " " +
                                                                  std::to_string(1056 * y / 96));
        EXPECT_EQ(Identify(out + "/report_002.png", "%w %h"), std::to_string(1056 * x / 96) + " " +
                                                                  std::to_string(816 * y / 96));
        DecodedImage page;
        ASSERT_TRUE(DecodeImage(out + "/report_001.png", page));
        EXPECT_EQ(page.At(At(kBlue.x + 10, x), At(kBlue.y + 10, y)), Rgb(kBlue.colour)) << x << "x" << y;
    }
    const std::string density = Identify(dir / "out-300x150/report_001.png", "%x %y %U");
    EXPECT_EQ(density.substr(0, 5), "118.1") << density;  // 300 dpi as pixels per centimetre
}

TEST_F(ImageEndToEnd, DepthsReadBackByAnIndependentReader) {
    struct Depth {
        const char* bits;
        int headerBits;         // bit count in the BMP header
        bool grey;              // ImageMagick finds only grey levels
        unsigned maxColours;
    };
    const Depth depths[] = {{"1", 1, true, 2},  {"3", 4, true, 16},  {"4", 4, false, 16},
                            {"7", 8, true, 128}, {"8", 8, false, 256}, {"24", 24, false, 0}};
    for (const Depth& depth : depths) {
        const std::string out = dir / (std::string("bmp-") + depth.bits);
        ASSERT_EQ(Run(std::string("-i report.xps -t bmp -mb ") + depth.bits + " -o " + ArgQuote(out)).exitCode, 0);
        const std::string file = out + "/report_001.bmp";
        const std::string bytes = ReadFile(file);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(static_cast<uint8_t>(bytes[28]), depth.headerBits) << depth.bits;
        const std::string info = Identify(file, "%[type] %k");
        const std::string type = info.substr(0, info.find(' '));
        EXPECT_EQ(type == "Grayscale" || type == "Bilevel", depth.grey) << depth.bits << ": " << info;
        if (depth.maxColours > 0) {
            EXPECT_LE(std::stoul(info.substr(info.find(' ') + 1)), depth.maxColours) << depth.bits;
        }
        DecodedImage page;
        ASSERT_TRUE(DecodeImage(file, page));
        ASSERT_EQ(page.width, 612);
        EXPECT_TRUE(Near(page.At(500, 700), RgbPixel{255, 255, 255}, 8)) << depth.bits;
    }
    // Eight-bit colour keeps the rectangles' colours exactly.
    DecodedImage page;
    ASSERT_TRUE(DecodeImage(dir / "bmp-8/report_001.bmp", page));
    EXPECT_EQ(page.At(At(kRed.x + 20, 72), At(kRed.y + 20, 72)), Rgb(kRed.colour));
    // Grey: red becomes (306 * 255) >> 10 = 76, give or take the palette reduction.
    ASSERT_TRUE(DecodeImage(dir / "bmp-7/report_001.bmp", page));
    EXPECT_TRUE(Near(page.At(At(kRed.x + 20, 72), At(kRed.y + 20, 72)), RgbPixel{76, 76, 76}, 1));
}

TEST_F(ImageEndToEnd, ResizeAndRotate) {
    ASSERT_EQ(Run("-i report.xps -t png -ms 400x300 -o sized").exitCode, 0);
    EXPECT_EQ(Identify(dir / "sized/report_001.png", "%w %h"), "400 300");
    ASSERT_EQ(Run("-i report.xps -t png -ms 400 -o unsized").exitCode, 3);  // told: not a size
    EXPECT_EQ(Identify(dir / "unsized/report_001.png", "%w %h"), "612 792");
    ASSERT_EQ(Run("-i report.xps -t png -mg 90 -o turned").exitCode, 0);
    EXPECT_EQ(Identify(dir / "turned/report_001.png", "%w %h"), "792 612");
    // A quarter turn clockwise puts the page's top-left red box at the top right.
    DecodedImage page;
    ASSERT_TRUE(DecodeImage(dir / "turned/report_001.png", page));
    EXPECT_EQ(page.At(792 - 1 - At(kRed.y + kRed.h / 2, 72), At(kRed.x + kRed.w / 2, 72)), Rgb(kRed.colour));
}

TEST_F(ImageEndToEnd, MultiPageTiffHoldsEveryPageInOrder) {
    REQUIRE_TOOLS("tiffinfo");
    ASSERT_EQ(Run("-i report.xps -t tif -mm -mb 1 -o multi").exitCode, 0);
    EXPECT_EQ(ListNames(dir / "multi"), (std::vector<std::string>{"report.tif"}));
    const std::string info = RunShell("tiffinfo " + ShellQuote(dir / "multi/report.tif")).out;
    EXPECT_NE(info.find("Page Number: 1-1"), std::string::npos) << info;
    EXPECT_NE(info.find("Page Number: 2-2"), std::string::npos) << info;
    EXPECT_NE(info.find("CCITT Group 4"), std::string::npos) << info;
    EXPECT_NE(info.find("Image Width: 612 Image Length: 792"), std::string::npos);
    EXPECT_NE(info.find("Image Width: 792 Image Length: 612"), std::string::npos);
}

TEST_F(ImageEndToEnd, GreyTiffWithJpegCompression) {
    REQUIRE_TOOLS("tiffinfo");
    const ShellResult result = Run("-i report.xps -t tif -mb 7 -mc jpg -o grey");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string info = RunShell("tiffinfo " + ShellQuote(dir / "grey/report_001.tif")).out;
    EXPECT_NE(info.find("Compression Scheme: JPEG"), std::string::npos) << info;
    EXPECT_NE(info.find("min-is-black"), std::string::npos) << info;
    DecodedImage page;
    ASSERT_TRUE(DecodeImage(dir / "grey/report_001.tif", page));
    EXPECT_TRUE(Near(page.At(At(kRed.x + 20, 72), At(kRed.y + 20, 72)), RgbPixel{76, 76, 76}, 6));
}

TEST_F(ImageEndToEnd, TwoRunsAtOnceOnDifferentDocuments) {
    WriteTwoPageDocument(dir / "other.xps");
    ShellResult first;
    ShellResult second;
    std::thread a([&] { first = Run("-i report.xps -t png -mx 150 -my 150 -o a"); });
    std::thread b([&] { second = Run("-i other.xps -t png -mx 150 -my 150 -o b"); });
    a.join();
    b.join();
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(ListNames(dir / "a"), (std::vector<std::string>{"report_001.png", "report_002.png"}));
    EXPECT_EQ(ListNames(dir / "b"), (std::vector<std::string>{"other_001.png", "other_002.png"}));
    EXPECT_EQ(LeftInTemporaryFolder(tmp), std::vector<std::string>{});
}

TEST_F(ImageEndToEnd, BrokenDocumentIsReportedAndTheNextStillConverts) {
    WriteFile(dir / "broken.xps", "garbage");
    const ShellResult result = Run("-i broken.xps -i report.xps -t jpg -o mixed");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("broken.xps"), std::string::npos);
    EXPECT_EQ(ListNames(dir / "mixed"), (std::vector<std::string>{"report_001.jpg", "report_002.jpg"}));
    EXPECT_EQ(LeftInTemporaryFolder(tmp), std::vector<std::string>{});
}

}  // namespace
