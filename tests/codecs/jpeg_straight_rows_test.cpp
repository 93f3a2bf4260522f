// A page JPEG made straight from the rows of its BMP file must be the very file the general
// way (load the page, encode the image) writes; files that are not plain 24-bit bottom-up BMPs
// are left to the general way.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "codecs/bmp_row_source.h"
#include "codecs/encoders.h"
#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "image/ximage.h"

namespace {

// A 24-bit page of noise with smooth areas, so that every coefficient band carries something.
void MakeNoisyPage(CxImage& image, uint32_t width, uint32_t height, unsigned variant) {
    ASSERT_NE(image.Create(width, height, 24, 0), nullptr);
    std::mt19937 random(variant);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = image.GetBits(y);
        for (uint32_t x = 0; x < width * 3; ++x) {
            row[x] = (x / 3 + y) % 97 < 60 ? static_cast<uint8_t>(x * 7 + y) : static_cast<uint8_t>(random());
        }
    }
}

void ApplyPageSettings(CxImage& image) {
    image.SetCodecOption(24, kFormatJpeg);
    image.SetJpegQuality(75);
    image.SetXDPI(150);
    image.SetYDPI(300);
}

std::vector<uint8_t> BmpBytes(CxImage& image) {
    MemoryImageStream bmp;
    EXPECT_TRUE(Encode(image, &bmp, kFormatBmp)) << image.GetLastError();
    return bmp.Buffer();
}

void PutLe32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    ASSERT_LE(at + 4, bytes.size());
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(JpegStraightFromRows, SameBytesAsEncodingTheLoadedPage) {
    // Widths with and without row padding; heights spanning one and several read chunks.
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {301, 67}, {1275, 700}, {64, 4000}};
    unsigned variant = 1;
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        CxImage page;
        MakeNoisyPage(page, width, height, variant++);
        const std::vector<uint8_t> file = BmpBytes(page);

        // The general way: the page loaded from its file, then encoded.
        MemoryImageStream loadFrom(file);
        CxImage loaded(kFormatUnknown);
        ASSERT_TRUE(Decode(loaded, loadFrom, kFormatBmp)) << loaded.GetLastError();
        ApplyPageSettings(loaded);
        MemoryImageStream general;
        ASSERT_TRUE(EncodeJpeg(loaded, &general)) << loaded.GetLastError();

        MemoryImageStream rowsFrom(file);
        BmpRowSource rows;
        ASSERT_TRUE(rows.Open(rowsFrom));
        CxImage settings(kFormatUnknown);
        ApplyPageSettings(settings);
        MemoryImageStream straight;
        ASSERT_TRUE(EncodeJpegFromRows(settings, rows, &straight)) << settings.GetLastError();
        EXPECT_EQ(straight.Buffer(), general.Buffer());
    }
}

TEST(JpegStraightFromRows, OnlyPlainBottomUpTrueColourFilesAreTakenStraight) {
    CxImage page;
    MakeNoisyPage(page, 33, 20, 7);
    const std::vector<uint8_t> plain = BmpBytes(page);
    {
        MemoryImageStream stream(plain);
        BmpRowSource rows;
        EXPECT_TRUE(rows.Open(stream));
    }
    auto refused = [](std::vector<uint8_t> bytes) {
        MemoryImageStream stream(bytes);
        BmpRowSource rows;
        return !rows.Open(stream);
    };
    std::vector<uint8_t> topDown = plain;
    PutLe32(topDown, 22, static_cast<uint32_t>(-20));
    EXPECT_TRUE(refused(topDown));
    std::vector<uint8_t> compressed = plain;
    PutLe32(compressed, 30, 1);
    EXPECT_TRUE(refused(compressed));
    std::vector<uint8_t> cut = plain;
    cut.resize(cut.size() - 1);  // the last row would be short
    EXPECT_TRUE(refused(cut));
    std::vector<uint8_t> pixelsBeyond = plain;
    PutLe32(pixelsBeyond, 10, 0xFFFFFF00u);
    EXPECT_TRUE(refused(pixelsBeyond));
    EXPECT_TRUE(refused(std::vector<uint8_t>(plain.begin(), plain.begin() + 30)));

    CxImage palette;
    ASSERT_NE(palette.Create(8, 8, 8, 0), nullptr);
    EXPECT_TRUE(refused(BmpBytes(palette)));
}

TEST(JpegStraightFromRows, RowsRunOutAsAFailureNotAPartialSuccess) {
    CxImage page;
    MakeNoisyPage(page, 40, 30, 3);
    const std::vector<uint8_t> file = BmpBytes(page);
    MemoryImageStream stream(file);
    BmpRowSource rows;
    ASSERT_TRUE(rows.Open(stream));
    for (int i = 0; i < 30; ++i) ASSERT_NE(rows.NextRow(), nullptr);
    EXPECT_EQ(rows.NextRow(), nullptr);
    // A source already used up gives the compressor too few rows.
    CxImage settings(kFormatUnknown);
    ApplyPageSettings(settings);
    MemoryImageStream out;
    EXPECT_FALSE(EncodeJpegFromRows(settings, rows, &out));
    EXPECT_FALSE(settings.GetLastError().empty());
}

}  // namespace
