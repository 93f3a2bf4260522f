// The bmp16m device: page files named by the template, their size at each resolution, their
// headers, and the colours at known places (read back with ImageMagick).

#include <gtest/gtest.h>

#include <cmath>

#include "engine_test_support.h"

namespace {

using namespace enginetest;

class BmpDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("convert");
        document_ = dir_ / "fixture doc.xps";
        WriteTestDocument(document_);
    }

    ShellResult Render(const std::string& pattern, const std::string& resolution) {
        return RunEngine({"-dNOPAUSE", "-sDEVICE=bmp16m", "-sOutputFile=" + (dir_ / pattern),
                          resolution, "-wProducer=quorbex", document_});
    }

    // Expects the colour of the XPS point (x, y) on the rendered page.
    void ExpectColourAt(const DecodedImage& image, double x, double y, int dpiX, int dpiY,
                        uint32_t colour) {
        int px = static_cast<int>(x * dpiX / 96.0);
        int py = static_cast<int>(y * dpiY / 96.0);
        ASSERT_LT(px, image.width);
        ASSERT_LT(py, image.height);
        const RgbPixel& got = image.At(px, py);
        EXPECT_TRUE(Near(got, Rgb(colour)))
            << "at " << px << "," << py << " got " << int(got.r) << "," << int(got.g) << ","
            << int(got.b) << " expected " << std::hex << colour;
    }

    TempDir dir_;
    std::string document_;
};

TEST_F(BmpDeviceTest, WritesOnePageFilePerPageNamedByTheTemplate) {
    ShellResult run = Render("fixture doc_%03d.bmp", "-r72x72");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ListNames(dir_.str()),
              (std::vector<std::string>{"fixture doc.xps", "fixture doc_001.bmp",
                                        "fixture doc_002.bmp"}));
}

TEST_F(BmpDeviceTest, AcceptsOtherNumberDirectives) {
    ASSERT_EQ(Render("plain%d.bmp", "-r36x36").exitCode, 0);
    ASSERT_EQ(Render("wide%05d.bmp", "-r36x36").exitCode, 0);
    ASSERT_EQ(Render("percent%%%d.bmp", "-r36x36").exitCode, 0);
    std::vector<std::string> names = ListNames(dir_.str());
    for (const char* expected : {"plain1.bmp", "plain2.bmp", "wide00001.bmp", "wide00002.bmp",
                                 "percent%1.bmp", "percent%2.bmp"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    }
}

TEST_F(BmpDeviceTest, PageSizeAndHeaderFollowTheResolution) {
    struct Case {
        int dpiX, dpiY;
    };
    for (Case c : {Case{72, 72}, Case{150, 150}, Case{300, 300}, Case{300, 150}, Case{97, 61}}) {
        SCOPED_TRACE(std::to_string(c.dpiX) + "x" + std::to_string(c.dpiY));
        std::string prefix = std::string("r") + std::to_string(c.dpiX) + "x" + std::to_string(c.dpiY);
        ShellResult run = Render(prefix + "_%03d.bmp",
                                 "-r" + std::to_string(c.dpiX) + "x" + std::to_string(c.dpiY));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (int page = 1; page <= 2; ++page) {
            BmpHeader h = ReadBmpHeader(dir_ / (prefix + "_00" + std::to_string(page) + ".bmp"));
            ASSERT_TRUE(h.valid);
            double widthInches = (page == 1 ? kPage1Width : kPage2Width) / 96.0;
            double heightInches = (page == 1 ? kPage1Height : kPage2Height) / 96.0;
            EXPECT_NEAR(h.width, widthInches * c.dpiX, 1.0);
            EXPECT_NEAR(h.height, heightInches * c.dpiY, 1.0);  // positive: bottom-up rows
            EXPECT_EQ(h.dataOffset, 54u);
            EXPECT_EQ(h.infoSize, 40u);
            EXPECT_EQ(h.planes, 1);
            EXPECT_EQ(h.bitCount, 24);
            EXPECT_EQ(h.compression, 0u);
            uint32_t rowSize = (static_cast<uint32_t>(h.width) * 3 + 3) & ~3u;
            EXPECT_EQ(h.imageSize, rowSize * static_cast<uint32_t>(h.height));
            EXPECT_EQ(h.fileSize, 54 + h.imageSize);
            EXPECT_EQ(h.xPelsPerMeter,
                      static_cast<int32_t>(std::floor(c.dpiX * 39.37007874015748 + 0.5)));
            EXPECT_EQ(h.yPelsPerMeter,
                      static_cast<int32_t>(std::floor(c.dpiY * 39.37007874015748 + 0.5)));
        }
    }
}

TEST_F(BmpDeviceTest, ColoursLandWhereTheDocumentPutsThem) {
    struct Case {
        int dpiX, dpiY;
    };
    for (Case c : {Case{72, 72}, Case{150, 150}, Case{200, 100}}) {
        SCOPED_TRACE(std::to_string(c.dpiX) + "x" + std::to_string(c.dpiY));
        std::string prefix = std::string("c") + std::to_string(c.dpiX) + "x" + std::to_string(c.dpiY);
        ShellResult run = Render(prefix + "_%03d.bmp",
                                 "-r" + std::to_string(c.dpiX) + "x" + std::to_string(c.dpiY));
        ASSERT_EQ(run.exitCode, 0) << run.err;

        DecodedImage first;
        ASSERT_TRUE(DecodeBmp(dir_ / (prefix + "_001.bmp"), dir_.str(), first));
        for (const Box& box : {kRed, kGreen, kBlue}) {
            ExpectColourAt(first, box.CentreX(), box.CentreY(), c.dpiX, c.dpiY, box.colour);
            // Just inside the corners: the edges are where the document puts them.
            ExpectColourAt(first, box.x + 2, box.y + 2, c.dpiX, c.dpiY, box.colour);
            ExpectColourAt(first, box.x + box.w - 2, box.y + box.h - 2, c.dpiX, c.dpiY, box.colour);
            ExpectColourAt(first, box.x - 2, box.y - 2, c.dpiX, c.dpiY, 0xFFFFFF);
            ExpectColourAt(first, box.x + box.w + 2, box.y + box.h + 2, c.dpiX, c.dpiY, 0xFFFFFF);
        }
        ExpectColourAt(first, 700, 1000, c.dpiX, c.dpiY, 0xFFFFFF);  // background

        DecodedImage second;
        ASSERT_TRUE(DecodeBmp(dir_ / (prefix + "_002.bmp"), dir_.str(), second));
        ExpectColourAt(second, 10, 10, c.dpiX, c.dpiY, kYellow.colour);  // top left, not flipped
        ExpectColourAt(second, 10, 800, c.dpiX, c.dpiY, 0xFFFFFF);
        ExpectColourAt(second, 1040, 10, c.dpiX, c.dpiY, 0xFFFFFF);
        ExpectColourAt(second, kImage.CentreX(), kImage.CentreY(), c.dpiX, c.dpiY, kImage.colour);
    }
}

TEST_F(BmpDeviceTest, TextIsDrawn) {
    ASSERT_EQ(Render("text_%03d.bmp", "-r96x96").exitCode, 0);
    DecodedImage page;
    ASSERT_TRUE(DecodeBmp(dir_ / "text_001.bmp", dir_.str(), page));
    // Dark pixels in the line of text (baseline 400, 24 units high), none in the gap below it.
    int dark = 0, darkBelow = 0;
    for (int y = 380; y < 400; ++y) {
        for (int x = 96; x < 400; ++x) dark += page.At(x, y).r < 128;
    }
    for (int y = 420; y < 470; ++y) {
        for (int x = 96; x < 400; ++x) darkBelow += page.At(x, y).r < 128;
    }
    EXPECT_GT(dark, 200);
    EXPECT_EQ(darkBelow, 0);
}

TEST_F(BmpDeviceTest, OddWidthRowsArePaddedAndReadBackExactly) {
    xpsfixture::XpsDocumentBuilder doc;
    int page = doc.AddPage(5, 3);  // 5 x 3 pixels at 96 dpi: rows of 15 bytes padded to 16
    doc.AddRect(page, 0, 0, 1, 1, 0xFF0000);
    doc.AddRect(page, 4, 2, 1, 1, 0x0000FF);
    std::string small = dir_ / "small.xps";
    ASSERT_TRUE(doc.WriteTo(small));
    ShellResult run = RunEngine(
        {"-sDEVICE=bmp16m", "-sOutputFile=" + (dir_ / "small_%03d.bmp"), "-r96x96", small});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<uint8_t> bytes = ReadFileBytes(dir_ / "small_001.bmp");
    ASSERT_EQ(bytes.size(), 54u + 3 * 16);
    // Bottom row first: its last pixel is the blue one (stored B, G, R), then one pad byte.
    const uint8_t* bottom = bytes.data() + 54;
    EXPECT_EQ(std::vector<uint8_t>(bottom + 12, bottom + 16), (std::vector<uint8_t>{255, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(bottom, bottom + 3), (std::vector<uint8_t>{255, 255, 255}));
    const uint8_t* top = bytes.data() + 54 + 2 * 16;
    EXPECT_EQ(std::vector<uint8_t>(top, top + 3), (std::vector<uint8_t>{0, 0, 255}));
}

}  // namespace
