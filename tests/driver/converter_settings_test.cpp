// What the page pipeline sends to each converter: the depth and compression normalised for the
// output type (and written back into the settings), and the options in force.
#include <gtest/gtest.h>

#include "codecs/image_file.h"
#include "conversion/output_file.h"
#include "driver/page_images.h"
#include "image/ximage.h"
#include "support/test_support.h"

namespace {

Settings Apply(int32_t imageType, int32_t bits, int32_t compression = -1) {
    Settings settings;
    ResetSettings(settings);
    settings.imageType = imageType;
    settings.bitsPerPixel = bits;
    settings.tiffCompression = compression;
    const ImgConvHandle handle = ImgConvCreate();
    EXPECT_GT(handle, 0);
    ApplyConverterSettings(handle, settings);
    ImgConvDestroy(handle);
    return settings;
}

TEST(ConverterSettings, DepthIsNormalisedPerOutputType) {
    struct Case {
        int32_t type, bits, keptBits;
    };
    const Case cases[] = {
        {kOutputGif, 24, 8}, {kOutputGif, 3, 3},   {kOutputJpeg, 8, 24}, {kOutputJpeg, 7, 7},
        {kOutputJp2, 1, 24}, {kOutputRas, 7, 7},   {kOutputBmp, 16, 24}, {kOutputPng, 1, 1},
        {kOutputTiff, 3, 3}, {kOutputTga, 4, 24},  {kOutputTga, 8, 8},   {kOutputEmf, 16, 16},
        {kOutputWmf, 3, 3},  {kOutputPcx, 40, 24}, {kOutputGif, -1, 8},
    };
    for (const Case& c : cases) EXPECT_EQ(Apply(c.type, c.bits).bitsPerPixel, c.keptBits) << c.type << "/" << c.bits;
}

TEST(ConverterSettings, CompressionChosenFromTheDepthWhenNoneWasGiven) {
    EXPECT_EQ(Apply(kOutputTiff, 1).tiffCompression, 4);
    EXPECT_EQ(Apply(kOutputTiff, 4).tiffCompression, 1);
    EXPECT_EQ(Apply(kOutputTiff, 7).tiffCompression, 1);
    EXPECT_EQ(Apply(kOutputTiff, 24).tiffCompression, 2);
    EXPECT_EQ(Apply(kOutputTiff, 1, 3).tiffCompression, 3);  // given: kept
    EXPECT_EQ(Apply(kOutputEmf, 16).tiffCompression, -1);    // no depth rule applies
}

// The size goes over only with both dimensions; the resolution always does.
TEST(ConverterSettings, SizeOnlyWithBothDimensionsAndOtherOptions) {
    TempDir dir;
    CxImage page;
    ASSERT_NE(page.Create(10, 6, 24), nullptr);
    std::string error;
    ASSERT_TRUE(SaveImageFile(page, dir / "page.bmp", kFormatBmp, error)) << error;

    const auto convert = [&](int32_t width, int32_t height, CxImage& written) {
        Settings settings;
        ResetSettings(settings);
        settings.imageType = kOutputBmp;
        settings.imageWidth = width;
        settings.imageHeight = height;
        settings.resolutionX = 300;
        settings.resolutionY = 150;
        const ImgConvHandle handle = ImgConvCreate();
        ImgConvSetOption(handle, kOptionOutputPath, (dir / "out.bmp").c_str(), 0, 0);
        ImgConvAddFile(handle, (dir / "page.bmp").c_str());
        ApplyConverterSettings(handle, settings);
        EXPECT_EQ(ImgConvConvert(handle), 1);
        ImgConvDestroy(handle);
        ASSERT_TRUE(Load(written, dir / "out.bmp", kFormatBmp)) << written.GetLastError();
    };
    CxImage widthOnly;
    convert(800, 0, widthOnly);
    EXPECT_EQ(widthOnly.GetWidth(), 10u);
    EXPECT_EQ(widthOnly.GetHeight(), 6u);
    EXPECT_EQ(widthOnly.GetXDPI(), 300);
    EXPECT_EQ(widthOnly.GetYDPI(), 150);
    CxImage both;
    convert(5, 4, both);
    EXPECT_EQ(both.GetWidth(), 5u);
    EXPECT_EQ(both.GetHeight(), 4u);
}

}  // namespace
