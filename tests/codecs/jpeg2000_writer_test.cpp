// JP2 and JPC writers, decoded with opj_decompress / opj_dump; PGX and PNM against their bytes.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "codecs/jpeg2000_family.h"
#include "codecs/raster_test_image.h"
#include "image/ximage.h"
#include "support/test_support.h"

namespace {

class Jpeg2000Writer : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("opj_decompress", "opj_dump", "convert");
    }
    // Decodes a JPEG 2000 file to PNM with the library's own tool and reads the pixels.
    DecodedImage Decode(const std::string& file, const std::string& pnmExtension) {
        const std::string out = file + "." + pnmExtension;
        const ShellResult result =
            RunShell("opj_decompress -i " + ShellQuote(file) + " -o " + ShellQuote(out));
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        return DecodeWithMagick(out);
    }
    std::string Dump(const std::string& file) {
        return RunShell("opj_dump -i " + ShellQuote(file)).out;
    }
    // The enumerated colour space in the JP2 'colr' box (16 sRGB, 17 grey).
    static int ColourSpace(const std::string& file) {
        const std::string bytes = ReadFile(file);
        const size_t at = bytes.find("colr");
        if (at == std::string::npos || at + 11 > bytes.size() || bytes[at + 4] != 1) return -1;
        int value = 0;
        for (size_t i = at + 7; i < at + 11; ++i)
            value = value * 256 + static_cast<uint8_t>(bytes[i]);
        return value;
    }
    TempDir dir;
};

}  // namespace

TEST_F(Jpeg2000Writer, Jp2AtQuality100IsLosslessSrgbWithThreeComponents) {
    CxImage image;
    MakeSampleImage(image);
    image.SetJpegQuality(100);
    const std::string path = dir / "page.jp2";
    ASSERT_TRUE(SaveFile(image, path, kFormatJp2)) << image.GetLastError();
    const std::string dump = Dump(path);
    EXPECT_NE(dump.find("numcomps=3"), std::string::npos) << dump;
    EXPECT_EQ(ColourSpace(path), 16);
    EXPECT_NE(dump.find("prec=8"), std::string::npos) << dump;
    EXPECT_NE(dump.find("sgnd=0"), std::string::npos) << dump;
    ExpectSamplePixels(Decode(path, "ppm"));
}

TEST_F(Jpeg2000Writer, JpcIsABareCodestreamAndKeepsTheChannelOrder) {
    CxImage image;
    ASSERT_NE(image.Create(1, 1, 24, 0), nullptr);
    SetPixelColour(image, 0, 0, RgbQuad{1, 2, 3, 0});
    image.SetJpegQuality(100);
    const std::string path = dir / "one.j2k";
    ASSERT_TRUE(SaveFile(image, path, kFormatJpc)) << image.GetLastError();
    const std::string bytes = ReadFile(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xFF);  // SOC marker, no JP2 boxes
    EXPECT_EQ(static_cast<uint8_t>(bytes[1]), 0x4F);
    EXPECT_EQ(Decode(path, "ppm").At(0, 0), (Rgb{3, 2, 1}));
}

TEST_F(Jpeg2000Writer, GreyImageIsOneGreyComponent) {
    CxImage image;
    MakeGreyImage(image);
    image.SetJpegQuality(100);
    const std::string path = dir / "grey.jp2";
    ASSERT_TRUE(SaveFile(image, path, kFormatJp2)) << image.GetLastError();
    const std::string dump = Dump(path);
    EXPECT_NE(dump.find("numcomps=1"), std::string::npos) << dump;
    EXPECT_EQ(ColourSpace(path), 17);
    ExpectGreyPixels(Decode(path, "pgm"));
}

TEST_F(Jpeg2000Writer, LowerRateGivesASmallerFile) {
    CxImage image;
    MakeSampleImage(image, 128, 96);
    const std::string lossless = dir / "q100.jpc";
    const std::string lossy = dir / "q10.jpc";
    image.SetJpegQuality(100);
    ASSERT_TRUE(SaveFile(image, lossless, kFormatJpc));
    image.SetJpegQuality(10);
    ASSERT_TRUE(SaveFile(image, lossy, kFormatJpc));
    const auto raw = 128u * 96u * 3u;
    const auto lossySize = std::filesystem::file_size(lossy);
    EXPECT_LT(lossySize, std::filesystem::file_size(lossless));
    // rate=0.100: about a tenth of the raw samples.
    EXPECT_LE(lossySize, raw / 10 + 200);
}

TEST_F(Jpeg2000Writer, ColourPaletteIsRefusedAndLeavesNoFile) {
    CxImage image;
    ASSERT_NE(image.Create(4, 4, 8, 0), nullptr);
    image.SetPaletteColor(3, RgbQuad{0, 255, 0, 0});
    const std::string path = dir / "p.jp2";
    EXPECT_FALSE(SaveFile(image, path, kFormatJp2));
    EXPECT_EQ(image.GetLastError(), "JasPer can save only RGB or GrayScale images");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Jpeg2000FamilyRawWriters, PgxAndPnmHoldHeaderAndTopRowFirstSamples) {
    CxImage grey;
    MakeGreyImage(grey, 3, 2);
    MemoryImageStream pgx;
    ASSERT_TRUE(EncodeJpeg2000Family(grey, &pgx, kFormatPgx)) << grey.GetLastError();
    std::string expected = "PG ML + 8 3 2\n";
    for (uint32_t top = 0; top < 2; ++top)
        for (uint32_t x = 0; x < 3; ++x) expected += static_cast<char>(SampleGrey(x, top));
    EXPECT_EQ(std::string(pgx.Buffer().begin(), pgx.Buffer().end()), expected);

    CxImage colour;
    MakeSampleImage(colour, 2, 2);
    MemoryImageStream refused;
    EXPECT_FALSE(EncodeJpeg2000Family(colour, &refused, kFormatPgx));
    EXPECT_EQ(colour.GetLastError(), "PGX can save only GrayScale images");

    MemoryImageStream pnm;
    ASSERT_TRUE(EncodeJpeg2000Family(colour, &pnm, kFormatPnm));
    expected = "P6\n2 2\n255\n";
    for (uint32_t top = 0; top < 2; ++top)
        for (uint32_t x = 0; x < 2; ++x) {
            const Rgb c = SampleColour(x, top);
            expected += {static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b)};
        }
    EXPECT_EQ(std::string(pnm.Buffer().begin(), pnm.Buffer().end()), expected);
}
