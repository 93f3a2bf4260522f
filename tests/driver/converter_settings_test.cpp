// What the page pipeline sends to each converter: the depth and compression normalised for the
// output type (and written back into the settings), and the options in force.
#include <gtest/gtest.h>

#include "driver/page_images.h"
#include "image/image_converter.h"

namespace {

// The converter fields the options set.
struct ConverterView {
    int32_t requestedDepth = 0, greyscale = 0, compression = 0, outputType = 0;
};

struct Sent {
    Settings settings;  // after normalisation
    ConverterView converter;
};

Sent Apply(int32_t imageType, int32_t bits, int32_t compression = -1) {
    Sent sent;
    ResetSettings(sent.settings);
    sent.settings.imageType = imageType;
    sent.settings.bitsPerPixel = bits;
    sent.settings.tiffCompression = compression;
    const ImgConvHandle handle = ImgConvCreate();
    EXPECT_GT(handle, 0);
    ApplyConverterSettings(handle, sent.settings);
    const std::shared_ptr<const ImageConverter> converter = ImgConvFind(handle);
    EXPECT_NE(converter, nullptr);
    if (converter) {
        sent.converter.requestedDepth = converter->requestedDepth;
        sent.converter.greyscale = converter->greyscale;
        sent.converter.compression = converter->compression;
        sent.converter.outputType = converter->outputType;
    }
    ImgConvDestroy(handle);
    return sent;
}

TEST(ConverterSettings, DepthIsNormalisedPerOutputType) {
    struct Case {
        int32_t type, bits, keptBits, depth, greyscale;
    };
    const Case cases[] = {
        {kOutputGif, 24, 8, 8, 0},  {kOutputGif, 3, 3, 4, 1},   {kOutputJpeg, 8, 24, 24, 0},
        {kOutputJpeg, 7, 7, 8, 1},  {kOutputJp2, 1, 24, 24, 0}, {kOutputRas, 7, 7, 8, 1},
        {kOutputBmp, 16, 24, 24, 0}, {kOutputPng, 1, 1, 1, 0},  {kOutputTiff, 3, 3, 4, 1},
        {kOutputTga, 4, 24, 24, 0}, {kOutputTga, 8, 8, 8, 0},   {kOutputEmf, 16, 16, 16, 0},
        {kOutputWmf, 3, 3, 4, 1},
    };
    for (const Case& c : cases) {
        const Sent sent = Apply(c.type, c.bits);
        EXPECT_EQ(sent.settings.bitsPerPixel, c.keptBits) << c.type << "/" << c.bits;
        EXPECT_EQ(sent.converter.requestedDepth, c.depth) << c.type << "/" << c.bits;
        EXPECT_EQ(sent.converter.greyscale, c.greyscale) << c.type << "/" << c.bits;
        EXPECT_EQ(sent.converter.outputType, c.type);
    }
}

TEST(ConverterSettings, CompressionChosenFromTheDepthWhenNoneWasGiven) {
    EXPECT_EQ(Apply(kOutputTiff, 1).settings.tiffCompression, 4);
    EXPECT_EQ(Apply(kOutputTiff, 4).settings.tiffCompression, 1);
    EXPECT_EQ(Apply(kOutputTiff, 7).settings.tiffCompression, 1);
    EXPECT_EQ(Apply(kOutputTiff, 24).settings.tiffCompression, 2);
    EXPECT_EQ(Apply(kOutputTiff, 24).converter.compression, 2);
    EXPECT_EQ(Apply(kOutputTiff, 1, 3).settings.tiffCompression, 3);  // given: kept
    EXPECT_EQ(Apply(kOutputEmf, 16).settings.tiffCompression, -1);    // no depth rule applies
}

TEST(ConverterSettings, SizeOnlyWithBothDimensionsAndOtherOptions) {
    Settings settings;
    ResetSettings(settings);
    settings.imageWidth = 800;
    settings.rotation = 270;
    settings.resolutionX = 300;
    settings.resolutionY = 150;
    settings.jpegQuality = 55;
    const ImgConvHandle handle = ImgConvCreate();
    ApplyConverterSettings(handle, settings);
    const std::shared_ptr<const ImageConverter> converter = ImgConvFind(handle);
    ASSERT_NE(converter, nullptr);
    EXPECT_EQ(converter->width, 0);
    EXPECT_EQ(converter->height, 0);
    EXPECT_EQ(converter->rotation, 270);
    EXPECT_EQ(converter->xResolution, 300);
    EXPECT_EQ(converter->yResolution, 150);
    EXPECT_EQ(converter->quality, 55);
    ImgConvDestroy(handle);
}

}  // namespace
