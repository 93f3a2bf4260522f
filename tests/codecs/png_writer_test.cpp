// PNG writer, checked with pngcheck (chunks) and ImageMagick (pixels).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "codecs/bmp_row_source.h"
#include "codecs/encoders.h"
#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "codecs/raster_test_image.h"
#include "image/ximage.h"
#include "support/test_support.h"

namespace {

class PngWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("pngcheck", "convert");
    }
    // Saves the image and returns pngcheck's verbose report of it.
    std::string SaveAndCheck(CxImage& image, const std::string& name) {
        path = dir / name;
        EXPECT_TRUE(SaveFile(image, path, kFormatPng)) << image.GetLastError();
        const ShellResult check = RunShell("pngcheck -v " + ShellQuote(path));
        EXPECT_EQ(check.exitCode, 0) << check.out;
        return check.out;
    }
    TempDir dir;
    std::string path;
};

class FullDiskStream : public MemoryImageStream {
  public:
    size_t Write(const void*, size_t, size_t) override { return 0; }
};

}  // namespace

TEST_F(PngWriter, ColourPageIsRgbWithWhiteBackgroundAndDensity) {
    CxImage image;
    MakeSampleImage(image);
    image.SetXDPI(150);
    image.SetYDPI(300);
    const std::string report = SaveAndCheck(image, "rgb.png");
    EXPECT_NE(report.find("6 x 5 image, 24-bit RGB, non-interlaced"), std::string::npos) << report;
    EXPECT_EQ(report.find("PLTE"), std::string::npos);
    EXPECT_NE(report.find("red = 0x00ff, green = 0x00ff, blue = 0x00ff"), std::string::npos)
        << report;
    EXPECT_NE(report.find("5906x11811 pixels/meter"), std::string::npos) << report;
    ExpectSamplePixels(DecodeWithMagick(path));
}

TEST_F(PngWriter, OnePixelKeepsItsChannelOrder) {
    CxImage image;
    ASSERT_NE(image.Create(1, 1, 24, 0), nullptr);
    SetPixelColour(image, 0, 0, RgbQuad{1, 2, 3, 0});
    SaveAndCheck(image, "one.png");
    EXPECT_EQ(DecodeWithMagick(path).At(0, 0), (Rgb{3, 2, 1}));
}

TEST_F(PngWriter, PaletteImagesKeepDepthPaletteAndBackgroundIndex) {
    CxImage image;
    ASSERT_NE(image.Create(6, 5, 4, 0), nullptr);
    for (uint8_t i = 0; i < 16; ++i)
        image.SetPaletteColor(
            i, RgbQuad{static_cast<uint8_t>(i * 3), static_cast<uint8_t>(255 - i * 9),
                       static_cast<uint8_t>(i * 16), 0});
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x)
            image.SetPixelIndex(x, y, static_cast<uint8_t>((x + 6 * y) % 16));
    const std::string report = SaveAndCheck(image, "four.png");
    EXPECT_NE(report.find("6 x 5 image, 4-bit palette, non-interlaced"), std::string::npos)
        << report;
    EXPECT_NE(report.find("16 palette entries"), std::string::npos) << report;
    EXPECT_NE(report.find("index = 0"), std::string::npos) << report;
    const DecodedImage decoded = DecodeWithMagick(path);
    // Top-left pixel is stored row 4, index (0 + 24) % 16 = 8.
    EXPECT_EQ(decoded.At(0, 0), (Rgb{8 * 16, 255 - 8 * 9, 8 * 3}));

    CxImage mono;
    ASSERT_NE(mono.Create(9, 3, 1, 0), nullptr);
    mono.SetStdPalette();
    mono.Clear(0);
    mono.SetPixelIndex(8, 2, 1);  // top-right pixel white
    const std::string monoReport = SaveAndCheck(mono, "mono.png");
    EXPECT_NE(monoReport.find("1-bit palette"), std::string::npos) << monoReport;
    const DecodedImage monoPixels = DecodeWithMagick(path);
    EXPECT_EQ(monoPixels.At(8, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(monoPixels.At(0, 0), (Rgb{0, 0, 0}));
}

TEST_F(PngWriter, IdentityGreyIsGreyTypeWithoutPalette) {
    CxImage image;
    MakeGreyImage(image);
    const std::string report = SaveAndCheck(image, "grey.png");
    EXPECT_NE(report.find("8-bit grayscale"), std::string::npos) << report;
    EXPECT_EQ(report.find("PLTE"), std::string::npos);
    EXPECT_NE(report.find("gray = 0x0000"), std::string::npos) << report;
    ExpectGreyPixels(DecodeWithMagick(path));
}

TEST_F(PngWriter, InterlaceOptionWritesAdam7) {
    CxImage image;
    MakeSampleImage(image);
    image.SetCodecOption(1, kFormatPng);
    const std::string report = SaveAndCheck(image, "adam7.png");
    EXPECT_NE(report.find("24-bit RGB, interlaced"), std::string::npos) << report;
    ExpectSamplePixels(DecodeWithMagick(path));
}

// A page tall enough for several bands: noise (run-length coded bands) above, a repeated
// drawing on white (match-searched bands) below, blank rows at the bottom. Every pixel must
// come back, in colour and in grey, and in colour also when the rows come straight from the
// page's BMP file (padded rows, several read chunks): the very bytes of the general way.
TEST_F(PngWriter, BandsOfNoiseAndDrawingDecodeExactly) {
    constexpr uint32_t kWidth = 301;
    constexpr uint32_t kHeight = 1500;
    uint32_t seed = 12345;
    const auto sample = [&](uint32_t x, uint32_t top, int channel) -> uint8_t {
        if (top < 600) {
            seed = seed * 1103515245u + 12345u;
            return static_cast<uint8_t>(seed >> 16);
        }
        if (top > 1400) return 255;
        const bool ink = (x * 7 + top * 3) % 41 < 5 || (x / 13 + top / 17) % 9 == 0;
        return ink ? static_cast<uint8_t>(40 * channel + x % 7) : 255;
    };
    CxImage colour;
    ASSERT_NE(colour.Create(kWidth, kHeight, 24, 0), nullptr);
    CxImage grey;
    ASSERT_NE(grey.Create(kWidth, kHeight, 8, 0), nullptr);
    grey.SetGrayPalette();
    for (uint32_t top = 0; top < kHeight; ++top) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            SetTopPixel(colour, x, top, Rgb{sample(x, top, 0), sample(x, top, 1), sample(x, top, 2)});
            grey.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(kHeight - 1 - top), sample(x, top, 1));
        }
    }
    SaveAndCheck(colour, "bands.png");
    const DecodedImage colourBack = DecodeWithMagick(path);
    const std::string general = ReadFile(path);
    {
        MemoryImageStream bmp;
        ASSERT_TRUE(Encode(colour, &bmp, kFormatBmp)) << colour.GetLastError();
        BmpRowSource rows;
        ASSERT_TRUE(rows.Open(bmp));
        CxImage settings(kFormatUnknown);
        FileImageStream straight((dir / "straight.png").c_str(), "wb");
        ASSERT_TRUE(EncodePngFromRows(settings, rows, &straight)) << settings.GetLastError();
    }
    EXPECT_TRUE(ReadFile(dir / "straight.png") == general);
    EXPECT_EQ(DecodeWithMagick(dir / "straight.png").rgb, colourBack.rgb);
    SaveAndCheck(grey, "bands-grey.png");
    const DecodedImage greyBack = DecodeWithMagick(path);
    ASSERT_EQ(colourBack.rgb.size(), size_t{kWidth} * kHeight * 3);
    ASSERT_EQ(greyBack.rgb.size(), size_t{kWidth} * kHeight * 3);
    size_t wrong = 0;
    for (uint32_t top = 0; top < kHeight; ++top) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            const int32_t stored = static_cast<int32_t>(kHeight - 1 - top);
            const RgbQuad c = colour.GetPixelColor(static_cast<int32_t>(x), stored);
            const uint8_t level = grey.GetPixelIndex(static_cast<int32_t>(x), stored);
            wrong += colourBack.At(x, top) != Rgb{c.rgbRed, c.rgbGreen, c.rgbBlue};
            wrong += greyBack.At(x, top) != Rgb{level, level, level};
        }
    }
    EXPECT_EQ(wrong, 0u);
}

TEST_F(PngWriter, WriteFailureIsReportedAsSavingError) {
    CxImage image;
    MakeSampleImage(image);
    FullDiskStream stream;
    EXPECT_FALSE(EncodePng(image, &stream));
    EXPECT_EQ(image.GetLastError(), "Error saving PNG file");
    EXPECT_FALSE(EncodePng(image, nullptr));
    EXPECT_EQ(image.GetLastError(), "null file handler");

    // Rows that run out part-way fail the straight way too.
    MemoryImageStream bmp;
    ASSERT_TRUE(Encode(image, &bmp, kFormatBmp)) << image.GetLastError();
    BmpRowSource rows;
    ASSERT_TRUE(rows.Open(bmp));
    ASSERT_NE(rows.NextRow(), nullptr);
    MemoryImageStream out;
    CxImage settings(kFormatUnknown);
    EXPECT_FALSE(EncodePngFromRows(settings, rows, &out));
    EXPECT_EQ(settings.GetLastError(), "Error saving PNG file");
}
