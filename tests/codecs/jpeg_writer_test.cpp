// JPEG writer, read back with libjpeg's decompressor and ImageMagick.

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "codecs/raster_test_image.h"
#include "image/ximage.h"
#include "support/test_support.h"

namespace {

struct JpegFacts {
    int components = 0;
    J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
    int hSampling[3] = {};
    int vSampling[3] = {};
    bool progressive = false;
    bool arithmetic = false;
    int densityUnit = -1;
    int xDensity = 0;
    int yDensity = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;  // decoded samples, top row first
};

JpegFacts ReadJpeg(const std::vector<uint8_t>& bytes) {
    JpegFacts facts;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    facts.components = cinfo.num_components;
    facts.colorSpace = cinfo.jpeg_color_space;
    for (int c = 0; c < cinfo.num_components && c < 3; ++c) {
        facts.hSampling[c] = cinfo.comp_info[c].h_samp_factor;
        facts.vSampling[c] = cinfo.comp_info[c].v_samp_factor;
    }
    facts.progressive = cinfo.progressive_mode;
    facts.arithmetic = cinfo.arith_code;
    facts.densityUnit = cinfo.density_unit;
    facts.xDensity = cinfo.X_density;
    facts.yDensity = cinfo.Y_density;
    jpeg_start_decompress(&cinfo);
    facts.width = cinfo.output_width;
    facts.height = cinfo.output_height;
    const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    facts.pixels.resize(rowBytes * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = facts.pixels.data() + rowBytes * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return facts;
}

std::vector<uint8_t> EncodeToMemory(CxImage& image) {
    MemoryImageStream stream;
    EXPECT_TRUE(EncodeJpeg(image, &stream)) << image.GetLastError();
    return stream.Buffer();
}

// A sink whose writes all fail, as on a full disk.
class FullDiskStream : public MemoryImageStream {
  public:
    size_t Write(const void*, size_t, size_t) override { return 0; }
};

void MakeFlatImage(CxImage& image, Rgb colour, uint32_t size = 16) {
    ASSERT_NE(image.Create(size, size, 24, 0), nullptr);
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x) SetTopPixel(image, x, y, colour);
}

void ExpectNear(Rgb actual, Rgb expected, int tolerance) {
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
}

}  // namespace

TEST(JpegWriter, PageSettingsGiveProgressiveOptimisedColourJpegWithDensity) {
    CxImage image;
    MakeSampleImage(image, 40, 24);
    image.SetCodecOption(24, kFormatJpeg);
    image.SetJpegQuality(75);
    image.SetXDPI(150);
    image.SetYDPI(300);
    const JpegFacts facts = ReadJpeg(EncodeToMemory(image));
    EXPECT_EQ(facts.components, 3);
    EXPECT_EQ(facts.colorSpace, JCS_YCbCr);
    EXPECT_EQ(facts.hSampling[0], 2);
    EXPECT_EQ(facts.vSampling[0], 2);
    EXPECT_EQ(facts.hSampling[1], 1);
    EXPECT_EQ(facts.vSampling[2], 1);
    EXPECT_TRUE(facts.progressive);
    EXPECT_FALSE(facts.arithmetic);
    EXPECT_EQ(facts.densityUnit, 1);
    EXPECT_EQ(facts.xDensity, 150);
    EXPECT_EQ(facts.yDensity, 300);
    EXPECT_EQ(facts.width, 40u);
    EXPECT_EQ(facts.height, 24u);
}

TEST(JpegWriter, ColoursKeepTheirChannelsAndTheTopRowComesFirst) {
    // Top half one colour, bottom half another: a flip or a red/blue swap shows at once.
    CxImage image;
    ASSERT_NE(image.Create(16, 16, 24, 0), nullptr);
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x)
            SetTopPixel(image, x, y, y < 8 ? Rgb{220, 40, 20} : Rgb{20, 60, 200});
    image.SetJpegQuality(100);
    image.SetCodecOption(8192, kFormatJpeg);
    const JpegFacts facts = ReadJpeg(EncodeToMemory(image));
    EXPECT_EQ(facts.hSampling[0], 1);
    ExpectNear(Rgb{facts.pixels[0], facts.pixels[1], facts.pixels[2]}, Rgb{220, 40, 20}, 3);
    const size_t last = facts.pixels.size() - 3;
    ExpectNear(Rgb{facts.pixels[last], facts.pixels[last + 1], facts.pixels[last + 2]},
               Rgb{20, 60, 200}, 3);

    // One pixel of blue 1, green 2, red 3.
    CxImage tiny;
    ASSERT_NE(tiny.Create(1, 1, 24, 0), nullptr);
    SetPixelColour(tiny, 0, 0, RgbQuad{1, 2, 3, 0});
    tiny.SetJpegQuality(100);
    tiny.SetCodecOption(8192, kFormatJpeg);
    const JpegFacts one = ReadJpeg(EncodeToMemory(tiny));
    ExpectNear(Rgb{one.pixels[0], one.pixels[1], one.pixels[2]}, Rgb{3, 2, 1}, 1);
}

TEST(JpegWriter, GreyImageIsOneComponentGreyscale) {
    CxImage image;
    MakeGreyImage(image, 16, 8);
    image.SetJpegQuality(100);
    const JpegFacts facts = ReadJpeg(EncodeToMemory(image));
    EXPECT_EQ(facts.components, 1);
    EXPECT_EQ(facts.colorSpace, JCS_GRAYSCALE);
    EXPECT_FALSE(facts.progressive);
    EXPECT_NEAR(facts.pixels[0], SampleGrey(0, 0), 2);
    EXPECT_NEAR(facts.pixels[15 + 7 * 16], SampleGrey(15, 7), 2);
}

TEST(JpegWriter, OptionBitsSelectSamplingGreyOutputAndArithmeticCoding) {
    CxImage image;
    MakeFlatImage(image, Rgb{200, 100, 50});
    image.SetCodecOption(4096, kFormatJpeg);
    JpegFacts facts = ReadJpeg(EncodeToMemory(image));
    EXPECT_EQ(facts.hSampling[0], 2);
    EXPECT_EQ(facts.vSampling[0], 1);

    image.SetCodecOption(4, kFormatJpeg);
    facts = ReadJpeg(EncodeToMemory(image));
    EXPECT_EQ(facts.components, 1);
    EXPECT_NEAR(facts.pixels[0], (200 * 299 + 100 * 587 + 50 * 114) / 1000, 3);

    image.SetCodecOption(2, kFormatJpeg);
    facts = ReadJpeg(EncodeToMemory(image));
    EXPECT_TRUE(facts.arithmetic);
    ExpectNear(Rgb{facts.pixels[0], facts.pixels[1], facts.pixels[2]}, Rgb{200, 100, 50}, 6);
}

TEST(JpegWriter, QualityKeepsOnlyItsLowEightBits) {
    REQUIRE_TOOLS("identify");
    TempDir dir;
    CxImage image;
    MakeSampleImage(image, 64, 64);
    image.SetJpegQuality(300);
    ASSERT_TRUE(SaveFile(image, dir / "q.jpg", kFormatJpeg)) << image.GetLastError();
    const ShellResult quality = RunShell("identify -format %Q " + ShellQuote(dir / "q.jpg"));
    EXPECT_EQ(quality.out, "44");
}

TEST(JpegWriter, ColourPaletteIsRefusedAndLeavesNoFile) {
    TempDir dir;
    CxImage image;
    ASSERT_NE(image.Create(4, 4, 8, 0), nullptr);
    image.SetPaletteColor(1, RgbQuad{0, 0, 255, 0});
    ASSERT_FALSE(SaveFile(image, dir / "p.jpg", kFormatJpeg));
    EXPECT_EQ(image.GetLastError(), "JPEG can save only RGB or GreyScale images");
    EXPECT_FALSE(std::filesystem::exists(dir / "p.jpg"));

    CxImage empty;
    MemoryImageStream stream;
    EXPECT_FALSE(EncodeJpeg(empty, &stream));
    EXPECT_EQ(empty.GetLastError(), "null image!!!");
}

TEST(JpegWriter, WriteFailureEndsWithTheLibraryMessage) {
    CxImage image;
    MakeSampleImage(image, 200, 200);
    FullDiskStream stream;
    EXPECT_FALSE(EncodeJpeg(image, &stream));
    EXPECT_EQ(image.GetLastError(), "Output file write error --- out of disk space?");
}
