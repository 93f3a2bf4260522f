// The BMP writer's exact bytes, its two layouts, and an independent reader's view of its files.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "codecs/save_file.h"
#include "image/test_pixels.h"
#include "image/ximage.h"
#include "support/test_support.h"

namespace {

uint32_t Le32At(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

std::vector<uint8_t> EncodeToMemory(CxImage& image) {
    MemoryImageStream stream;
    EXPECT_TRUE(Encode(image, &stream, kFormatBmp)) << image.GetLastError();
    return stream.TakeBuffer();
}

}  // namespace

TEST(BmpWriter, OnePixelPaletteImageBytes) {
    CxImage image;
    ASSERT_NE(image.Create(1, 1, 8, kFormatBmp), nullptr);
    image.SetGrayPalette();
    image.SetPixelIndex(0, 0, 0xAB);
    image.GetBits(0)[1] = 0x11;  // padding bytes are written as they are in memory
    image.SetXDPI(150);
    image.SetYDPI(72);
    const std::vector<uint8_t> bytes = EncodeToMemory(image);

    ASSERT_EQ(bytes.size(), 1082u);
    const uint8_t fileHeader[14] = {'B', 'M', 0x3A, 0x04, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0};
    EXPECT_EQ(std::memcmp(bytes.data(), fileHeader, 14), 0);
    const uint8_t infoHeader[40] = {40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 8, 0,
                                    0,  0, 0, 0, 4, 0, 0, 0,
                                    0x12, 0x17, 0, 0,  // 5906
                                    0x13, 0x0B, 0, 0,  // 2835
                                    0, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes.data() + 14, infoHeader, 40), 0);
    const uint8_t entry255[4] = {255, 255, 255, 0};
    EXPECT_EQ(std::memcmp(bytes.data() + 54 + 255 * 4, entry255, 4), 0);
    EXPECT_EQ(bytes[1078], 0xAB);
    EXPECT_EQ(bytes[1079], 0x11);
}

TEST(BmpWriter, HeaderFieldsOfEachDepth) {
    struct Case {
        uint32_t width, height, bits, offset, stride;
    };
    for (const Case& c : {Case{33, 2, 1, 62, 8}, Case{5, 3, 4, 118, 4}, Case{1275, 1650, 24, 54, 3828}}) {
        CxImage image;
        ASSERT_NE(image.Create(c.width, c.height, c.bits, 0), nullptr);
        image.Clear(0);
        image.SetXDPI(150);
        image.SetYDPI(150);
        const std::vector<uint8_t> bytes = EncodeToMemory(image);
        const uint32_t imageSize = c.stride * c.height;
        EXPECT_EQ(bytes.size(), c.offset + imageSize) << c.bits;
        EXPECT_EQ(Le32At(bytes, 2), bytes.size());
        EXPECT_EQ(Le32At(bytes, 10), c.offset);
        EXPECT_EQ(Le32At(bytes, 14 + 20), imageSize);
        EXPECT_EQ(Le32At(bytes, 14 + 24), 5906u);
        EXPECT_EQ(Le32At(bytes, 14 + 28), 5906u);
    }
    // The page size quoted for 150 dpi letter pages.
    CxImage page;
    ASSERT_NE(page.Create(1275, 1650, 24, 0), nullptr);
    page.Clear(255);
    EXPECT_EQ(EncodeToMemory(page).size(), 6316254u);
}

TEST(BmpWriter, AlphaLayoutInterleavesTheAlphaPlane) {
    CxImage image;
    ASSERT_NE(image.Create(2, 1, 24, 0), nullptr);
    SetPixelColour(image, 0, 0, RgbQuad{1, 2, 3, 0});
    SetPixelColour(image, 1, 0, RgbQuad{4, 5, 6, 0});
    ASSERT_TRUE(image.AlphaCreate());
    image.AlphaPointer()[0] = 7;
    image.AlphaPointer()[1] = 8;
    const std::vector<uint8_t> bytes = EncodeToMemory(image);
    ASSERT_EQ(bytes.size(), 54u + 8u);
    EXPECT_EQ(Le32At(bytes, 2), 62u);
    EXPECT_EQ(Le32At(bytes, 10), 54u);
    EXPECT_EQ(bytes[14 + 14], 32);  // bit count
    EXPECT_EQ(Le32At(bytes, 14 + 20), 8u);
    const std::vector<uint8_t> pixels(bytes.begin() + 54, bytes.end());
    EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 2, 3, 7, 4, 5, 6, 8}));
    // The image itself stays 24 bits.
    EXPECT_EQ(image.GetHeader().biBitCount, 24);
}

TEST(BmpWriter, PreconditionsAndRoundTrip) {
    CxImage empty;
    MemoryImageStream stream;
    EXPECT_FALSE(Encode(empty, &stream, kFormatBmp));
    EXPECT_EQ(empty.GetLastError(), "null image!!!");
    CxImage image;
    ASSERT_NE(image.Create(3, 2, 4, 0), nullptr);
    EXPECT_FALSE(Encode(image, nullptr, kFormatBmp));
    EXPECT_EQ(image.GetLastError(), "null file handler");
    EXPECT_FALSE(Encode(image, &stream, 5));
    EXPECT_EQ(image.GetLastError(), "Encode: Unknown format");

    // Write, read back with the decoder: same pixels, palette and resolution.
    image.SetStdPalette();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) image.SetPixelIndex(x, y, static_cast<uint8_t>(x + 5 * y));
    image.SetXDPI(300);
    image.SetYDPI(200);
    MemoryImageStream written;
    ASSERT_TRUE(Encode(image, &written, kFormatBmp));
    written.Seek(0, SEEK_SET);
    CxImage back;
    ASSERT_TRUE(Decode(back, written, kFormatBmp));
    EXPECT_EQ(back.GetBpp(), 4u);
    EXPECT_EQ(back.GetXDPI(), 300);
    EXPECT_EQ(back.GetYDPI(), 200);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(back.GetPixelIndex(x, y), x + 5 * y);
    for (uint8_t i = 0; i < 16; ++i) EXPECT_EQ(back.GetPaletteColor(i), image.GetPaletteColor(i));
}

TEST(BmpWriter, ImageMagickReadsTheFiles) {
    REQUIRE_TOOLS("identify", "convert");
    TempDir dir;
    CxImage colour;
    ASSERT_NE(colour.Create(3, 2, 24, 0), nullptr);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            SetPixelColour(colour, x, y, RgbQuad{static_cast<uint8_t>(10 * x), static_cast<uint8_t>(100 + y),
                                               static_cast<uint8_t>(200 + x), 0});
    colour.SetXDPI(150);
    colour.SetYDPI(150);
    ASSERT_TRUE(SaveFile(colour, dir / "colour.bmp", kFormatBmp));
    ShellResult r = RunShell("convert " + ShellQuote(dir / "colour.bmp") +
                             " -units PixelsPerInch -format '%w %h %z %[fx:int(resolution.x+0.5)]' info:");
    EXPECT_EQ(r.out, "3 2 8 150") << r.err;
    // Top-left pixel as ImageMagick sees it (rows top first): stored row 1, column 0.
    r = RunShell("convert " + ShellQuote(dir / "colour.bmp") + " -format '%[pixel:p{0,0}]' info:");
    EXPECT_EQ(r.out, "srgb(200,101,0)") << r.err;

    CxImage mono;
    ASSERT_NE(mono.Create(33, 2, 1, 0), nullptr);
    mono.SetStdPalette();
    mono.Clear(0);
    mono.SetPixelIndex(32, 1, 1);
    ASSERT_TRUE(SaveFile(mono, dir / "mono.bmp", kFormatBmp));
    r = RunShell("convert " + ShellQuote(dir / "mono.bmp") +
                 " -format '%w %h %[fx:p{32,0}.r] %[fx:p{0,0}.r]' info:");
    EXPECT_EQ(r.out, "33 2 1 0") << r.err;
}
