// PCX writer: header fields and run-length bytes of small images, and round trips through
// independent PCX readers at every depth the converter writes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "image/test_pixels.h"
#include "image/ximage.h"
#include "support/pnm_reader.h"

namespace {

std::vector<uint8_t> EncodeToBytes(CxImage& image) {
    MemoryImageStream stream;
    EXPECT_TRUE(EncodePcx(image, &stream)) << image.GetLastError();
    return stream.Buffer();
}

uint16_t Word(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::vector<uint8_t> Data(const std::vector<uint8_t>& file, size_t trailing = 0) {
    return std::vector<uint8_t>(file.begin() + 128, file.end() - static_cast<long>(trailing));
}

void MakePaletteImage(CxImage& image, uint32_t width, uint32_t height, uint32_t bpp) {
    ASSERT_NE(image.Create(width, height, bpp, kFormatPcx), nullptr);
    const uint32_t colors = 1u << bpp;
    std::vector<RgbQuad> palette(colors);
    for (uint32_t i = 0; i < colors; ++i) {
        palette[i] = RgbQuad{static_cast<uint8_t>(i * 3), static_cast<uint8_t>(250 - i),
                             static_cast<uint8_t>(i * 11 % 256), 0};
    }
    if (bpp == 1) palette[1] = RgbQuad{255, 255, 255, 0}, palette[0] = RgbQuad{0, 0, 0, 0};
    image.SetPalette(palette.data(), colors);
}

// An asymmetric picture: distinct corners and a diagonal, in storage coordinates.
void PaintCorners(CxImage& image) {
    const int32_t w = static_cast<int32_t>(image.GetWidth());
    const int32_t h = static_cast<int32_t>(image.GetHeight());
    const uint32_t colors = image.GetBpp() == 24 ? 256 : 1u << image.GetBpp();
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t v = (x * 7 + y * 13 + (x == y ? 5 : 0)) % colors;
            if (image.GetBpp() == 24) {
                SetPixelColour(image, x, y,
                                    RgbQuad{static_cast<uint8_t>(v), static_cast<uint8_t>(x * 20),
                                            static_cast<uint8_t>(255 - y * 30), 0});
            } else {
                image.SetPixelIndex(x, y, static_cast<uint8_t>(v));
            }
        }
    }
    if (image.GetBpp() == 24) {
        SetPixelColour(image, 0, h - 1, RgbQuad{0, 0, 255, 0});      // top left red
        SetPixelColour(image, w - 1, h - 1, RgbQuad{0, 255, 0, 0});  // top right green
        SetPixelColour(image, 0, 0, RgbQuad{255, 0, 0, 0});          // bottom left blue
    } else {
        image.SetPixelIndex(0, h - 1, 1);
        image.SetPixelIndex(w - 1, 0, static_cast<uint8_t>(colors - 1));
    }
}

void ExpectReaderGivesPixels(const std::string& tool, CxImage& image, const std::string& name) {
    const std::string base = testing::TempDir() + "pcx_encoder_" + name;
    WriteFileBytes(base + ".pcx", EncodeToBytes(image));
    DecodedImage decoded;
    const std::string command =
        tool == "pcxtoppm"
            ? "pcxtoppm " + ShellQuote(base + ".pcx") + " > " + ShellQuote(base + ".ppm")
            : "/usr/bin/convert " + ShellQuote(base + ".pcx") + " -depth 8 " +
                  ShellQuote("ppm:" + base + ".ppm");
    ASSERT_TRUE(DecodeWith(command, base + ".ppm", decoded)) << command;
    ASSERT_EQ(decoded.width, static_cast<int>(image.GetWidth()));
    ASSERT_EQ(decoded.height, static_cast<int>(image.GetHeight()));
    for (int y = 0; y < decoded.height; ++y) {
        for (int x = 0; x < decoded.width; ++x) {
            const RgbQuad c =
                image.GetPixelColor(x, static_cast<int32_t>(image.GetHeight()) - 1 - y);
            ASSERT_EQ(decoded.At(x, y), (RgbPixel{c.rgbRed, c.rgbGreen, c.rgbBlue}))
                << tool << " " << name << " at " << x << "," << y;
        }
    }
}

}  // namespace

TEST(PcxEncoder, TrueColourLineIsPackedPlaneByPlane) {
    CxImage image;
    ASSERT_NE(image.Create(3, 1, 24, kFormatPcx), nullptr);
    SetPixelColour(image, 0, 0, RgbQuad{30, 20, 10, 0});
    SetPixelColour(image, 1, 0, RgbQuad{30, 20, 10, 0});
    SetPixelColour(image, 2, 0, RgbQuad{30, 20, 200, 0});
    image.SetXDPI(150);
    image.SetYDPI(300);
    const std::vector<uint8_t> file = EncodeToBytes(image);
    ASSERT_EQ(file.size(), 128u + 11u);
    EXPECT_EQ(file[0], 0x0A);
    EXPECT_EQ(file[1], 5);
    EXPECT_EQ(file[2], 1);
    EXPECT_EQ(file[3], 8);
    EXPECT_EQ(Word(file, 4), 0);
    EXPECT_EQ(Word(file, 6), 0);
    EXPECT_EQ(Word(file, 8), 2);
    EXPECT_EQ(Word(file, 10), 0);
    EXPECT_EQ(Word(file, 12), 150);
    EXPECT_EQ(Word(file, 14), 300);
    EXPECT_EQ(file[65], 3);
    EXPECT_EQ(Word(file, 66), 4);
    EXPECT_EQ(Word(file, 68), 1);
    for (size_t i = 16; i < 64; ++i) ASSERT_EQ(file[i], 0) << i;
    for (size_t i = 70; i < 128; ++i) ASSERT_EQ(file[i], 0) << i;
    EXPECT_EQ(Data(file), (std::vector<uint8_t>{0xC2, 0x0A, 0xC1, 0xC8, 0x00, 0xC3, 0x14, 0x00,
                                                0xC3, 0x1E, 0x00}));
}

TEST(PcxEncoder, LongRunsAreCutAtSixtyThree) {
    for (uint8_t v : {uint8_t{0x41}, uint8_t{0xC5}}) {
        CxImage image;
        MakePaletteImage(image, 64, 1, 8);
        image.Clear(v);
        const std::vector<uint8_t> file = EncodeToBytes(image);
        EXPECT_EQ(file[3], 8);
        EXPECT_EQ(file[65], 1);
        EXPECT_EQ(Word(file, 66), 64);
        EXPECT_EQ(Word(file, 68), 0);
        for (size_t i = 16; i < 64; ++i) ASSERT_EQ(file[i], 0) << i;
        const std::vector<uint8_t> expected =
            v >= 0xC0 ? std::vector<uint8_t>{0xFF, v, 0xC1, v} : std::vector<uint8_t>{0xFF, v, v};
        EXPECT_EQ(Data(file, 769), expected);
        // The trailing palette: marker, then 256 entries as red, green, blue.
        ASSERT_EQ(file[file.size() - 769], 0x0C);
        const RgbQuad c = image.GetPaletteColor(7);
        const size_t entry = file.size() - 768 + 7 * 3;
        EXPECT_EQ(file[entry], c.rgbRed);
        EXPECT_EQ(file[entry + 1], c.rgbGreen);
        EXPECT_EQ(file[entry + 2], c.rgbBlue);
    }
}

TEST(PcxEncoder, MonoImageIsWrittenDarkAsZero) {
    CxImage image;
    ASSERT_NE(image.Create(8, 1, 1, kFormatPcx), nullptr);
    const RgbQuad whiteFirst[2] = {{255, 255, 255, 0}, {0, 0, 0, 0}};
    image.SetPalette(whiteFirst, 2);
    for (int32_t x = 0; x < 8; ++x) image.SetPixelIndex(x, 0, x < 3 ? 0 : 1);  // 3 white
    const std::vector<uint8_t> file = EncodeToBytes(image);
    EXPECT_EQ(file[3], 1);
    EXPECT_EQ(file[65], 1);
    EXPECT_EQ(Word(file, 66), 2);
    // Header map: black then white.
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 16, file.begin() + 22),
              (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
    // White pixels become 1 bits: 1110 0000, then the padding byte.
    EXPECT_EQ(Data(file), (std::vector<uint8_t>{0xC1, 0xE0, 0x00}));
}

TEST(PcxEncoder, SixteenColourImageHasFourBitPlanes) {
    CxImage image;
    MakePaletteImage(image, 9, 1, 4);
    for (int32_t x = 0; x < 9; ++x)
        image.SetPixelIndex(x, 0, static_cast<uint8_t>(x == 8 ? 15 : 5));
    const std::vector<uint8_t> file = EncodeToBytes(image);
    EXPECT_EQ(file[3], 1);
    EXPECT_EQ(file[65], 4);
    EXPECT_EQ(Word(file, 66), 2);
    const RgbQuad c = image.GetPaletteColor(15);
    EXPECT_EQ(file[16 + 45], c.rgbRed);
    EXPECT_EQ(file[16 + 46], c.rgbGreen);
    EXPECT_EQ(file[16 + 47], c.rgbBlue);
    // Index 5 = bits 0 and 2; index 15 sets every plane's ninth pixel.
    EXPECT_EQ(Data(file),
              (std::vector<uint8_t>{0xC1, 0xFF, 0x80, 0x00, 0x80, 0xC1, 0xFF, 0x80, 0x00, 0x80}));
}

TEST(PcxEncoder, IndependentReadersGiveBackThePixels) {
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        CxImage image;
        if (bpp == 24) {
            ASSERT_NE(image.Create(11, 6, 24, kFormatPcx), nullptr);
        } else {
            MakePaletteImage(image, 11, 6, bpp);
        }
        PaintCorners(image);
        const std::string name = std::to_string(bpp);
        if (ToolAvailable("pcxtoppm")) ExpectReaderGivesPixels("pcxtoppm", image, name);
        // ImageMagick reads every 1-bit PCX with black and white swapped (netpbm's own files
        // included), so it only judges the deeper files.
        if (bpp != 1 && ToolAvailable("/usr/bin/convert")) {
            ExpectReaderGivesPixels("convert", image, name);
        }
    }
}

TEST(PcxEncoder, RefusesMissingStreamAndEmptyImage) {
    CxImage empty;
    MemoryImageStream stream;
    EXPECT_FALSE(EncodePcx(empty, &stream));
    EXPECT_EQ(empty.GetLastError(), "null image!!!");
    EXPECT_TRUE(stream.Buffer().empty());
    CxImage image;
    ASSERT_NE(image.Create(2, 2, 24), nullptr);
    EXPECT_FALSE(EncodePcx(image, nullptr));
    EXPECT_EQ(image.GetLastError(), "null file handler");
}
