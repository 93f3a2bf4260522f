// TGA writer: header and row bytes of small images, refusal of shallow depths, and round
// trips through independent TGA readers.

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
    EXPECT_TRUE(EncodeTga(image, &stream)) << image.GetLastError();
    return stream.Buffer();
}

void MakeAsymmetricImage(CxImage& image, uint32_t bpp) {
    ASSERT_NE(image.Create(7, 4, bpp, kFormatTga), nullptr);
    if (bpp == 8) {
        std::vector<RgbQuad> palette(256);
        for (uint32_t i = 0; i < 256; ++i) {
            palette[i] = RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                 static_cast<uint8_t>(i * 37 % 256), 0};
        }
        image.SetPalette(palette.data(), 256);
    }
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 7; ++x) {
            if (bpp == 8) {
                image.SetPixelIndex(x, y, static_cast<uint8_t>(x * 30 + y * 7));
            } else {
                SetPixelColour(image, 
                    x, y,
                    RgbQuad{static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 60), 99, 0});
            }
        }
    }
    if (bpp == 24) {
        SetPixelColour(image, 0, 3, RgbQuad{0, 0, 255, 0});  // top left red
        SetPixelColour(image, 6, 0, RgbQuad{255, 0, 0, 0});  // bottom right blue
    }
}

}  // namespace

TEST(TgaEncoder, ColourMappedImageHeaderMapAndRows) {
    CxImage image;
    ASSERT_NE(image.Create(2, 2, 8, kFormatTga), nullptr);
    std::vector<RgbQuad> palette(256, RgbQuad{0, 0, 0, 0});
    palette[1] = RgbQuad{10, 20, 30, 0};
    image.SetPalette(palette.data(), 256);
    image.SetPixelIndex(0, 0, 1);
    image.SetPixelIndex(1, 0, 2);
    image.SetPixelIndex(0, 1, 3);
    image.SetPixelIndex(1, 1, 4);
    const std::vector<uint8_t> file = EncodeToBytes(image);
    ASSERT_EQ(file.size(), 18u + 768u + 4u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 18),
              (std::vector<uint8_t>{0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x18, 0x00, 0x00,
                                    0x00, 0x00, 0x02, 0x00, 0x02, 0x00, 0x08, 0x00}));
    // Map entries are blue, green, red.
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 21, file.begin() + 24),
              (std::vector<uint8_t>{10, 20, 30}));
    EXPECT_EQ(std::vector<uint8_t>(file.end() - 4, file.end()),
              (std::vector<uint8_t>{1, 2, 3, 4}));  // bottom row first
}

TEST(TgaEncoder, TrueColourRowsAreUnpadded) {
    CxImage image;
    ASSERT_NE(image.Create(3, 2, 24, kFormatTga), nullptr);
    image.Clear(0xAB);  // padding bytes too
    SetPixelColour(image, 0, 0, RgbQuad{1, 2, 3, 0});
    SetPixelColour(image, 2, 1, RgbQuad{7, 8, 9, 0});
    const std::vector<uint8_t> file = EncodeToBytes(image);
    ASSERT_EQ(file.size(), 18u + 2 * 9u);
    EXPECT_EQ(file[1], 0);
    EXPECT_EQ(file[2], 2);
    EXPECT_EQ(file[5] | (file[6] << 8), 0);
    EXPECT_EQ(file[7], 0);
    EXPECT_EQ(file[12], 3);
    EXPECT_EQ(file[14], 2);
    EXPECT_EQ(file[16], 24);
    EXPECT_EQ(file[17], 0);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 18, file.end()),
              (std::vector<uint8_t>{1, 2, 3, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB,
                                    0xAB, 0xAB, 0xAB, 7, 8, 9}));
}

TEST(TgaEncoder, ShallowDepthsAndEmptyInputsAreRefused) {
    for (uint32_t bpp : {1u, 4u}) {
        CxImage image;
        ASSERT_NE(image.Create(4, 4, bpp), nullptr);
        MemoryImageStream stream;
        EXPECT_FALSE(EncodeTga(image, &stream));
        EXPECT_EQ(image.GetLastError(), "Bit depth must be 8 or 24");
        EXPECT_TRUE(stream.Buffer().empty());
    }
    CxImage empty;
    MemoryImageStream stream;
    EXPECT_FALSE(EncodeTga(empty, &stream));
    EXPECT_EQ(empty.GetLastError(), "null image!!!");
}

TEST(TgaEncoder, IndependentReadersGiveBackThePixels) {
    for (uint32_t bpp : {8u, 24u}) {
        CxImage image;
        MakeAsymmetricImage(image, bpp);
        const std::string base = testing::TempDir() + "tga_encoder_" + std::to_string(bpp);
        WriteFileBytes(base + ".tga", EncodeToBytes(image));
        std::vector<std::string> commands;
        if (ToolAvailable("tgatoppm")) {
            commands.push_back("tgatoppm " + ShellQuote(base + ".tga") + " > " +
                               ShellQuote(base + ".ppm"));
        }
        if (ToolAvailable("/usr/bin/convert")) {
            commands.push_back("/usr/bin/convert " + ShellQuote(base + ".tga") + " -auto-orient " +
                               ShellQuote("ppm:" + base + ".ppm"));
        }
        for (const std::string& command : commands) {
            DecodedImage decoded;
            ASSERT_TRUE(DecodeWith(command, base + ".ppm", decoded)) << command;
            ASSERT_EQ(decoded.width, 7);
            ASSERT_EQ(decoded.height, 4);
            for (int y = 0; y < 4; ++y) {
                for (int x = 0; x < 7; ++x) {
                    const RgbQuad c = image.GetPixelColor(x, 3 - y);
                    ASSERT_EQ(decoded.At(x, y), (RgbPixel{c.rgbRed, c.rgbGreen, c.rgbBlue}))
                        << command << " at " << x << "," << y;
                }
            }
        }
    }
}
