// CxImageTIF's encoder, read back with libtiff's reader (tags, pixels, directories).

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "codecs/raster_test_image.h"
#include "codecs/ximage_tif.h"
#include "support/test_support.h"

namespace {

struct Directory {
    uint32_t width = 0, height = 0;
    uint16_t compression = 0, photometric = 0, bitsPerSample = 0, samples = 0;
    uint16_t predictor = 0;
    bool hasPredictor = false;
    uint32_t subfileType = 99;
    bool hasPageNumber = false;
    uint16_t page = 0, pages = 0;
    std::string pageName;
    bool hasPageName = false;
    float xResolution = 0, yResolution = 0;
    uint16_t resolutionUnit = 0;
    uint16_t hSubsampling = 0, vSubsampling = 0;
    std::vector<uint16_t> red, green, blue;  // colour map
    std::vector<Rgb> pixels;                 // top row first
    std::vector<uint8_t> firstScanline;
    Rgb At(uint32_t x, uint32_t top) const { return pixels[static_cast<size_t>(top) * width + x]; }
};

std::vector<Directory> ReadTiff(const std::string& path) {
    std::vector<Directory> result;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return result;
    }
    do {
        Directory d;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &d.width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &d.height);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &d.compression);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &d.photometric);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &d.bitsPerSample);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &d.samples);
        d.hasPredictor = TIFFGetField(tif, TIFFTAG_PREDICTOR, &d.predictor) == 1;
        TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &d.subfileType);
        d.hasPageNumber = TIFFGetField(tif, TIFFTAG_PAGENUMBER, &d.page, &d.pages) == 1;
        char* name = nullptr;
        d.hasPageName = TIFFGetField(tif, TIFFTAG_PAGENAME, &name) == 1;
        if (name != nullptr) d.pageName = name;
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &d.xResolution);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &d.yResolution);
        TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &d.resolutionUnit);
        TIFFGetField(tif, TIFFTAG_YCBCRSUBSAMPLING, &d.hSubsampling, &d.vSubsampling);
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (d.photometric == PHOTOMETRIC_PALETTE &&
            TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) {
            const size_t n = size_t{1} << d.bitsPerSample;
            d.red.assign(r, r + n);
            d.green.assign(g, g + n);
            d.blue.assign(b, b + n);
        }
        if (d.compression != COMPRESSION_JPEG) {
            d.firstScanline.resize(static_cast<size_t>(TIFFScanlineSize(tif)));
            TIFFReadScanline(tif, d.firstScanline.data(), 0, 0);
        }
        std::vector<uint32_t> raster(static_cast<size_t>(d.width) * d.height);
        if (TIFFReadRGBAImageOriented(tif, d.width, d.height, raster.data(), ORIENTATION_TOPLEFT,
                                      0)) {
            for (uint32_t p : raster)
                d.pixels.push_back(Rgb{static_cast<uint8_t>(TIFFGetR(p)),
                                       static_cast<uint8_t>(TIFFGetG(p)),
                                       static_cast<uint8_t>(TIFFGetB(p))});
        } else {
            ADD_FAILURE() << "libtiff cannot read the pixels of " << path;
        }
        result.push_back(std::move(d));
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return result;
}

void SaveBytes(const MemoryImageStream& stream, const std::string& path) {
    WriteFile(path, std::string(stream.Buffer().begin(), stream.Buffer().end()));
}

// A 4-bit image with 16 distinct colours; index of (x, top) = (x + 3 top) % 16.
void MakeFourBitImage(CxImage& image) {
    ASSERT_NE(image.Create(6, 5, 4, 0), nullptr);
    for (uint8_t i = 0; i < 16; ++i)
        image.SetPaletteColor(
            i, RgbQuad{static_cast<uint8_t>(15 * i), static_cast<uint8_t>(100 + 9 * i),
                       static_cast<uint8_t>(240 - 13 * i), 0});
    for (uint32_t top = 0; top < 5; ++top)
        for (uint32_t x = 0; x < 6; ++x)
            image.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(4 - top),
                                static_cast<uint8_t>((x + 3 * top) % 16));
}
Rgb FourBitColour(uint32_t x, uint32_t top) {
    const uint32_t i = (x + 3 * top) % 16;
    return Rgb{static_cast<uint8_t>(240 - 13 * i), static_cast<uint8_t>(100 + 9 * i),
               static_cast<uint8_t>(15 * i)};
}

// Black-and-white image: white everywhere except a black top-left pixel.
void MakeMonoImage(CxImage& image) {
    ASSERT_NE(image.Create(9, 4, 1, 0), nullptr);
    image.SetStdPalette();  // index 0 black, 1 white
    image.Clear(1);
    image.SetPixelIndex(0, 3, 0);
}

class TiffWriter : public ::testing::Test {
  protected:
    std::vector<Directory> Save(CxImage& image, uint32_t compression, const std::string& name) {
        image.SetCodecOption(compression, kFormatTiff);
        const std::string path = dir / name;
        EXPECT_TRUE(SaveFile(image, path, kFormatTiff)) << name << ": " << image.GetLastError();
        return ReadTiff(path);
    }
    TempDir dir;
};

}  // namespace

TEST_F(TiffWriter, ColourPageDefaultsToJpegYCbCrWithoutPageTags) {
    CxImage image;
    ASSERT_NE(image.Create(16, 16, 24, 0), nullptr);
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x)
            SetTopPixel(image, x, y, y < 8 ? Rgb{220, 40, 20} : Rgb{20, 60, 200});
    image.SetJpegQuality(100);
    image.SetXDPI(72);
    image.SetYDPI(150);
    const auto dirs = Save(image, 0, "colour.tif");
    ASSERT_EQ(dirs.size(), 1u);
    const Directory& d = dirs[0];
    EXPECT_EQ(d.compression, COMPRESSION_JPEG);
    EXPECT_EQ(d.photometric, PHOTOMETRIC_YCBCR);
    EXPECT_EQ(d.hSubsampling, 1);
    EXPECT_EQ(d.vSubsampling, 1);
    EXPECT_EQ(d.subfileType, 0u);
    EXPECT_FALSE(d.hasPageNumber);
    EXPECT_FALSE(d.hasPageName);
    EXPECT_EQ(d.resolutionUnit, RESUNIT_INCH);
    EXPECT_FLOAT_EQ(d.xResolution, 72.0f);
    EXPECT_FLOAT_EQ(d.yResolution, 150.0f);
    ASSERT_EQ(d.pixels.size(), 256u);
    for (const auto& [at, expected] :
         {std::pair{d.At(3, 2), Rgb{220, 40, 20}}, std::pair{d.At(12, 13), Rgb{20, 60, 200}}}) {
        EXPECT_NEAR(at.r, expected.r, 4);
        EXPECT_NEAR(at.g, expected.g, 4);
        EXPECT_NEAR(at.b, expected.b, 4);
    }
}

TEST_F(TiffWriter, LosslessCompressionsKeepEveryPixelAtEveryDepth) {
    const uint32_t lossless[] = {kTiffNone, kTiffLzw, kTiffPackBits};
    for (uint32_t compression : lossless) {
        const std::string tag = std::to_string(compression);
        CxImage colour;
        MakeSampleImage(colour);
        auto dirs = Save(colour, compression, "c" + tag + ".tif");
        ASSERT_EQ(dirs.size(), 1u);
        EXPECT_EQ(dirs[0].compression, compression);
        EXPECT_EQ(dirs[0].photometric, PHOTOMETRIC_RGB);
        EXPECT_EQ(dirs[0].hasPredictor, compression == kTiffLzw);
        for (uint32_t top = 0; top < 5; ++top)
            for (uint32_t x = 0; x < 6; ++x)
                EXPECT_EQ(dirs[0].At(x, top), SampleColour(x, top)) << tag;

        CxImage grey;
        MakeGreyImage(grey);
        dirs = Save(grey, compression, "g" + tag + ".tif");
        EXPECT_EQ(dirs[0].photometric, PHOTOMETRIC_MINISBLACK);
        EXPECT_EQ(dirs[0].hasPredictor, compression == kTiffLzw);
        for (uint32_t top = 0; top < 5; ++top)
            for (uint32_t x = 0; x < 6; ++x) {
                const uint8_t g = SampleGrey(x, top);
                EXPECT_EQ(dirs[0].At(x, top), (Rgb{g, g, g})) << tag;
            }

        CxImage four;
        MakeFourBitImage(four);
        dirs = Save(four, compression, "p" + tag + ".tif");
        EXPECT_EQ(dirs[0].photometric, PHOTOMETRIC_PALETTE);
        EXPECT_EQ(dirs[0].bitsPerSample, 4);
        EXPECT_FALSE(dirs[0].hasPredictor);
        ASSERT_EQ(dirs[0].red.size(), 16u);
        EXPECT_EQ(dirs[0].red[1], (240 - 13) * 257);
        EXPECT_EQ(dirs[0].blue[2], 30 * 257);
        for (uint32_t top = 0; top < 5; ++top)
            for (uint32_t x = 0; x < 6; ++x)
                EXPECT_EQ(dirs[0].At(x, top), FourBitColour(x, top)) << tag;
    }
}

TEST_F(TiffWriter, BlackAndWhiteIsWhiteIsZeroForEveryFaxScheme) {
    const uint32_t schemes[] = {kTiffCcittFax4, kTiffCcittFax3, kTiffCcittRle, kTiffNone, kTiffLzw};
    for (uint32_t compression : schemes) {
        CxImage image;
        MakeMonoImage(image);
        const auto dirs = Save(image, compression, "bw" + std::to_string(compression) + ".tif");
        ASSERT_EQ(dirs.size(), 1u);
        EXPECT_EQ(dirs[0].compression, compression);
        EXPECT_EQ(dirs[0].photometric, PHOTOMETRIC_MINISWHITE);
        EXPECT_FALSE(dirs[0].hasPredictor);
        // Top row: black first pixel (bit 1), then white (bits 0).
        ASSERT_GE(dirs[0].firstScanline.size(), 2u);
        EXPECT_EQ(dirs[0].firstScanline[0], 0x80);
        EXPECT_EQ(dirs[0].firstScanline[1], 0x00);
        EXPECT_EQ(dirs[0].At(0, 0), (Rgb{0, 0, 0}));
        EXPECT_EQ(dirs[0].At(8, 3), (Rgb{255, 255, 255}));
    }
}

TEST_F(TiffWriter, PagesShareOneFileWithPageTags) {
    CxImageTIF writer;
    MemoryImageStream stream;
    for (int page = 1; page <= 3; ++page) {
        MakeSampleImage(writer, 6 + page, 5);
        ASSERT_TRUE(writer.Encode(&stream, true)) << writer.GetLastError();
        EXPECT_EQ(writer.GetPageCounter(), page);
    }
    writer.CloseTiffHandle();
    SaveBytes(stream, dir / "pages.tif");
    const auto dirs = ReadTiff(dir / "pages.tif");
    ASSERT_EQ(dirs.size(), 3u);
    for (uint16_t page = 1; page <= 3; ++page) {
        const Directory& d = dirs[page - 1];
        EXPECT_EQ(d.width, 6u + page);
        EXPECT_EQ(d.subfileType, static_cast<uint32_t>(FILETYPE_PAGE));
        EXPECT_TRUE(d.hasPageNumber);
        EXPECT_EQ(d.page, page);
        EXPECT_EQ(d.pages, page);
        EXPECT_EQ(d.pageName, "Page " + std::to_string(page));
        EXPECT_EQ(d.compression, COMPRESSION_JPEG);
    }
}

TEST_F(TiffWriter, FailedPageLeavesTheOtherPagesIntact) {
    CxImageTIF writer;
    MemoryImageStream stream;
    MakeSampleImage(writer);
    writer.SetCodecOption(kTiffNone, kFormatTiff);
    ASSERT_TRUE(writer.Encode(&stream, true));

    // JPEG cannot hold a colour palette.
    ASSERT_NE(writer.Create(4, 4, 8, 0), nullptr);
    writer.SetPaletteColor(1, RgbQuad{0, 0, 255, 0});
    writer.SetCodecOption(kTiffJpeg, kFormatTiff);
    EXPECT_FALSE(writer.Encode(&stream, true));
    EXPECT_EQ(writer.GetLastError(), "Error saving TIFF file");
    EXPECT_FALSE(writer.HasOpenHandle());
    EXPECT_EQ(writer.GetPageCounter(), 0);

    MakeGreyImage(writer);
    writer.SetCodecOption(kTiffLzw, kFormatTiff);
    ASSERT_TRUE(writer.Encode(&stream, true)) << writer.GetLastError();
    writer.CloseTiffHandle();
    SaveBytes(stream, dir / "pages.tif");
    const auto dirs = ReadTiff(dir / "pages.tif");
    ASSERT_EQ(dirs.size(), 2u);
    ExpectSamplePixels(DecodedImage{6, 5, [&] {
                                        std::vector<uint8_t> rgb;
                                        for (const Rgb& p : dirs[0].pixels)
                                            rgb.insert(rgb.end(), {p.r, p.g, p.b});
                                        return rgb;
                                    }()});
    EXPECT_EQ(dirs[1].page, 1);  // a new handle starts counting again
    EXPECT_EQ(dirs[1].photometric, PHOTOMETRIC_MINISBLACK);
    if (UseTool("tiffinfo")) {
        const ShellResult info = RunShell("tiffinfo " + ShellQuote(dir / "pages.tif"));
        EXPECT_EQ(info.exitCode, 0) << info.err;
        EXPECT_EQ(info.err.find("rror"), std::string::npos) << info.err;
    }
}

TEST_F(TiffWriter, PreconditionsAndEncodeTiffEntry) {
    CxImageTIF writer;
    MemoryImageStream stream;
    EXPECT_FALSE(writer.Encode(nullptr, false));
    EXPECT_EQ(writer.GetLastError(), "null file handler");
    EXPECT_FALSE(writer.Encode(&stream, false));
    EXPECT_EQ(writer.GetLastError(), "null image!!!");

    CxImage image;
    ASSERT_NE(image.Create(1, 1, 24, 0), nullptr);
    SetPixelColour(image, 0, 0, RgbQuad{1, 2, 3, 0});
    image.SetCodecOption(kTiffNone, kFormatTiff);
    ASSERT_TRUE(EncodeTiff(image, &stream)) << image.GetLastError();
    SaveBytes(stream, dir / "one.tif");
    const auto dirs = ReadTiff(dir / "one.tif");
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(dirs[0].At(0, 0), (Rgb{3, 2, 1}));
}
