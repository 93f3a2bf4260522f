// Sun raster writer: exact bytes for a small image, and ImageMagick reading the pixels.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "codecs/raster_test_image.h"
#include "image/ximage.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> bytes;
    for (uint32_t w : words)
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<uint8_t>(w >> shift));
    return bytes;
}

}  // namespace

TEST(RasWriter, ColourImageBytesAreBlueGreenRedWithRowsPaddedToEvenLength) {
    // 1 × 2: one pixel per row, 3 bytes, padded to 4.
    CxImage image;
    ASSERT_NE(image.Create(1, 2, 24, 0), nullptr);
    SetPixelColour(image, 0, 1, RgbQuad{1, 2, 3, 0});     // top row: blue 1, green 2, red 3
    SetPixelColour(image, 0, 0, RgbQuad{10, 20, 30, 0});  // bottom row
    MemoryImageStream stream;
    ASSERT_TRUE(EncodeJpeg2000Family(image, &stream, kFormatRas)) << image.GetLastError();
    std::vector<uint8_t> expected = Words({0x59a66a95u, 1, 2, 24, 8, 1, 0, 0});
    expected.insert(expected.end(), {1, 2, 3, 0, 10, 20, 30, 0});
    EXPECT_EQ(stream.Buffer(), expected);
}

TEST(RasWriter, GreyImageIsEightBitsWithoutColourMap) {
    CxImage image;
    MakeGreyImage(image, 3, 2);
    MemoryImageStream stream;
    ASSERT_TRUE(EncodeJpeg2000Family(image, &stream, kFormatRas));
    std::vector<uint8_t> expected = Words({0x59a66a95u, 3, 2, 8, 8, 1, 0, 0});
    for (uint32_t top = 0; top < 2; ++top) {
        for (uint32_t x = 0; x < 3; ++x) expected.push_back(SampleGrey(x, top));
        expected.push_back(0);
    }
    EXPECT_EQ(stream.Buffer(), expected);
}

TEST(RasWriter, ImageMagickReadsTheColoursAndTheOrientation) {
    REQUIRE_TOOLS("convert");
    TempDir dir;
    CxImage image;
    MakeSampleImage(image, 5, 5);  // odd width: padded rows
    ASSERT_TRUE(SaveFile(image, dir / "page.ras", kFormatRas)) << image.GetLastError();
    ExpectSamplePixels(DecodeWithMagick(dir / "page.ras", "sun:"), 5, 5);

    CxImage grey;
    MakeGreyImage(grey, 5, 3);
    ASSERT_TRUE(SaveFile(grey, dir / "grey.ras", kFormatRas));
    ExpectGreyPixels(DecodeWithMagick(dir / "grey.ras", "sun:"), 5, 3);

    CxImage palette;
    ASSERT_NE(palette.Create(2, 2, 4, 0), nullptr);
    palette.SetPaletteColor(1, RgbQuad{9, 9, 200, 0});
    EXPECT_FALSE(SaveFile(palette, dir / "pal.ras", kFormatRas));
    EXPECT_EQ(palette.GetLastError(), "JasPer can save only RGB or GrayScale images");
}
