// Image object storage: size limits, strides, resolution rounding, copies and saving.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "image/ximage.h"
#include "support/test_support.h"

TEST(CxImageCreate, SizeLimitsAndMessages) {
    CxImage image;
    EXPECT_EQ(image.Create(0, 100, 24), nullptr);
    EXPECT_EQ(image.GetLastError(), "CxImage::Create : width and height must be greater than zero");
    EXPECT_EQ(image.Create(100, 0, 24), nullptr);

    // 8193 x 8192 x 24 = 1,610,809,344 bits: within the limit (about 200 MB, not touched).
    EXPECT_NE(image.Create(8193, 8192, 24), nullptr);
    EXPECT_EQ(image.GetEffWidth(), 24580u);
    image.Destroy();
    // 16384 x 16384 x 24 wraps to exactly 2^31 bits in 32 bits: the overflow check catches it.
    EXPECT_EQ(image.Create(16384, 16384, 24), nullptr);
    EXPECT_EQ(image.GetLastError(), "CXIMAGE_MAX_MEMORY exceeded");
    EXPECT_FALSE(image.IsValid());
    // Just above the limit without wrapping, and a product that wraps to a small number.
    EXPECT_EQ(image.Create(65536, 32769, 1), nullptr);
    EXPECT_EQ(image.Create(65536, 65536, 1), nullptr);
    EXPECT_EQ(image.GetLastError(), "CXIMAGE_MAX_MEMORY exceeded");
}

// A raised limit (one batch worker's share of the memory budget) takes a 600 dpi A2 page; it
// never goes below the image layer's own.
TEST(CxImageCreate, RaisedLimitReachesTheImagesOperationsMake) {
    CxImage page;
    EXPECT_EQ(page.Create(9921, 14031, 24), nullptr);  // 417 MB: beyond the 256 MiB
    page.SetMaxMemory(512ull << 20);
    ASSERT_NE(page.Create(9921, 14031, 24), nullptr);
    // Copies carry it, so that the images an operation builds from this one may be as large.
    CxImage copy;
    ASSERT_TRUE(copy.Transfer(page));
    EXPECT_EQ(copy.GetMaxMemory(), 512ull << 20);
    EXPECT_EQ(copy.GetWidth(), 9921u);
    copy.SetMaxMemory(1);
    EXPECT_EQ(copy.GetMaxMemory(), CXIMAGE_MAX_MEMORY);
}

TEST(CxImageCreate, DepthsStridesAndPalettes) {
    struct Case {
        uint32_t width, askedBits, bits, colours, stride;
    };
    for (const Case& c : {Case{1275, 24, 24, 0, 3828}, Case{100, 3, 4, 16, 52}, Case{100, 2, 4, 16, 52},
                          Case{33, 1, 1, 2, 8}, Case{33, 0, 1, 2, 8}, Case{7, 5, 8, 256, 8},
                          Case{7, 32, 24, 0, 24}}) {
        CxImage image;
        ASSERT_NE(image.Create(c.width, 3, c.askedBits, kFormatPng), nullptr);
        EXPECT_EQ(image.GetBpp(), c.bits) << c.askedBits;
        EXPECT_EQ(image.GetNumColors(), c.colours);
        EXPECT_EQ(image.GetEffWidth(), c.stride);
        EXPECT_EQ(image.GetHeader().biSizeImage, c.stride * 3);
        EXPECT_EQ(image.GetSize(), 40 + c.colours * 4 + c.stride * 3);
        EXPECT_EQ(image.GetType(), kFormatPng);
        EXPECT_EQ(std::memcmp(image.GetDIB(), &image.GetHeader(), 40), 0);
        EXPECT_EQ(image.GetBits(0), static_cast<uint8_t*>(image.GetDIB()) + 40 + c.colours * 4);
        EXPECT_EQ(image.GetBits(2), image.GetBits(0) + 2 * c.stride);
        EXPECT_EQ(image.GetBits(3), nullptr);
        for (uint32_t i = 0; i < c.colours; ++i) EXPECT_EQ(image.GetPaletteColor(i), (RgbQuad{0, 0, 0, 0}));
    }
}

TEST(CxImageCreate, ClearFillsByDepth) {
    CxImage one;
    ASSERT_NE(one.Create(9, 1, 1), nullptr);
    one.Clear(3);
    EXPECT_EQ(one.GetBits(0)[0], 255);
    EXPECT_EQ(one.GetPixelIndex(8, 0), 1);
    CxImage four;
    ASSERT_NE(four.Create(3, 1, 4), nullptr);
    four.Clear(0x1A);
    EXPECT_EQ(four.GetBits(0)[0], 0xAA);
    EXPECT_EQ(four.GetPixelIndex(2, 0), 10);
}

TEST(CxImageInfo, ResolutionQualityAndCodecOptions) {
    CxImage image;
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.GetHeader().biXPelsPerMeter, 3780);
    EXPECT_EQ(image.GetBackgroundIndex(), -1);
    EXPECT_EQ(image.GetJpegQuality(), 90.0f);
    ASSERT_NE(image.Create(2, 2, 24), nullptr);
    for (auto [dpi, ppm] : {std::pair{72, 2835}, {150, 5906}, {600, 23622}, {96, 3780}, {300, 11811}}) {
        image.SetXDPI(dpi);
        image.SetYDPI(dpi);
        EXPECT_EQ(image.GetHeader().biXPelsPerMeter, ppm) << dpi;
        EXPECT_EQ(image.GetHeader().biYPelsPerMeter, ppm) << dpi;
        // The DIB block's own header copy follows.
        EXPECT_EQ(static_cast<const BitmapInfoHeader*>(image.GetDIB())->biXPelsPerMeter, ppm);
    }
    image.SetXDPI(0);
    image.SetYDPI(-5);
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.GetYDPI(), 96);

    image.SetJpegQuality(300);
    EXPECT_EQ(image.GetJpegQuality(), 44.0f);
    image.SetJpegQuality(75);
    EXPECT_EQ(image.GetJpegQuality(), 75.0f);

    image.SetType(kFormatTiff);
    image.SetCodecOption(4);  // the image's own slot
    image.SetCodecOption(24, kFormatJpeg);
    image.SetCodecOption(9, 99);  // invalid code: own slot
    EXPECT_EQ(image.GetCodecOption(kFormatTiff), 9u);
    EXPECT_EQ(image.GetCodecOption(kFormatJpeg), 24u);
    EXPECT_EQ(image.GetCodecOption(), 9u);

    image.SetLastError(std::string(400, 'e'));
    EXPECT_EQ(image.GetLastError().size(), kLastErrorCapacity);
}

TEST(CxImageCopies, GhostCopyAndTransfer) {
    CxImage image;
    ASSERT_NE(image.Create(4, 3, 8), nullptr);
    image.SetGrayPalette();
    image.Clear(7);
    image.SetXDPI(200);

    {
        CxImage ghost;
        ghost.Ghost(image);
        EXPECT_TRUE(ghost.IsGhost());
        EXPECT_EQ(ghost.GetDIB(), image.GetDIB());
        EXPECT_EQ(ghost.GetXDPI(), 200);
        EXPECT_FALSE(ghost.Destroy());
        EXPECT_EQ(ghost.Create(2, 2, 24), nullptr);
    }  // the ghost's end frees nothing
    EXPECT_EQ(image.GetBits(0)[0], 7);

    // Transfer out of a ghost duplicates, and leaves the owner intact.
    CxImage ghost;
    ghost.Ghost(image);
    CxImage copy;
    ASSERT_TRUE(copy.Transfer(ghost));
    EXPECT_NE(copy.GetDIB(), image.GetDIB());
    EXPECT_FALSE(copy.IsGhost());
    EXPECT_EQ(std::memcmp(copy.GetDIB(), image.GetDIB(), image.GetSize()), 0);
    EXPECT_EQ(copy.GetXDPI(), 200);
    EXPECT_TRUE(image.IsValid());

    // A plain transfer takes the block over and leaves the source empty.
    CxImage taker;
    ASSERT_TRUE(taker.Transfer(copy));
    EXPECT_FALSE(copy.IsValid());
    EXPECT_EQ(copy.GetWidth(), 0u);
    EXPECT_EQ(taker.GetWidth(), 4u);
    EXPECT_EQ(taker.GetPaletteColor(200), (RgbQuad{200, 200, 200, 0}));
}
