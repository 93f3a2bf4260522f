// Quarter turns, free rotation and nearest-pixel resampling geometry.

#include <gtest/gtest.h>

#include "image/page_steps.h"
#include "image/test_pixels.h"
#include "image/ximage.h"

namespace {

// Colour that names its own position.
RgbQuad Tag(int x, int y) { return RgbQuad{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 77, 0}; }

void MakeTagged(CxImage& image, int width, int height, uint32_t bits = 24) {
    ASSERT_NE(image.Create(width, height, bits), nullptr);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (bits == 24) {
                SetPixelColour(image, x, y, Tag(x, y));
            } else {
                image.SetPixelIndex(x, y, static_cast<uint8_t>((x + 3 * y) % (1 << bits)));
            }
        }
}

}  // namespace

TEST(QuarterTurns, ClockwiseAnticlockwiseAndHalfTurn) {
    CxImage image;
    MakeTagged(image, 3, 2);
    image.SetXDPI(150);
    ASSERT_TRUE(image.RotateRight());
    ASSERT_EQ(image.GetWidth(), 2u);
    ASSERT_EQ(image.GetHeight(), 3u);
    EXPECT_EQ(image.GetXDPI(), 150);
    EXPECT_EQ(image.GetPixelColor(0, 0), Tag(2, 0));  // bottom-left = old (2, 0)
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(image.GetPixelColor(x, y), Tag(3 - 1 - y, x));
    // Top-left of the page becomes top-right.
    EXPECT_EQ(image.GetPixelColor(1, 2), Tag(0, 1));

    ASSERT_TRUE(image.RotateLeft());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(image.GetPixelColor(x, y), Tag(x, y));

    ApplyRotationStep(image, 180);
    ASSERT_EQ(image.GetWidth(), 3u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(image.GetPixelColor(x, y), Tag(2 - x, 1 - y));

    ApplyRotationStep(image, 270);
    EXPECT_EQ(image.GetWidth(), 2u);
    ApplyRotationStep(image, 0);
    EXPECT_EQ(image.GetWidth(), 2u);

    CxImage empty;
    EXPECT_FALSE(empty.RotateRight());
}

TEST(QuarterTurns, PaletteDepthsAcrossBlocks) {
    for (uint32_t bits : {1u, 4u, 8u}) {
        CxImage image;
        MakeTagged(image, 70, 130, bits);  // more than one 64-pixel block both ways
        CxImage original;
        MakeTagged(original, 70, 130, bits);
        ASSERT_TRUE(image.RotateRight());
        ASSERT_EQ(image.GetWidth(), 130u);
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 130; ++x)
                ASSERT_EQ(image.GetPixelIndex(x, y), original.GetPixelIndex(70 - 1 - y, x)) << bits;
        ASSERT_TRUE(image.RotateLeft());
        ASSERT_EQ(image.GetWidth(), 70u);
        for (int y = 0; y < 130; ++y)
            for (int x = 0; x < 70; ++x)
                ASSERT_EQ(image.GetPixelIndex(x, y), original.GetPixelIndex(x, y)) << bits;
    }
}

TEST(FreeRotation, FortyFiveDegreesAndTheNinetyDegreeRule) {
    CxImage image;
    ASSERT_NE(image.Create(100, 100, 24), nullptr);
    image.Clear(255);
    SetPixelColour(image, 0, 0, RgbQuad{10, 20, 30, 0});
    ASSERT_TRUE(image.Rotate(45.0f));
    EXPECT_EQ(image.GetWidth(), 141u);
    EXPECT_EQ(image.GetHeight(), 141u);
    const RgbQuad corner{10, 20, 30, 0};
    EXPECT_EQ(image.GetPixelColor(0, 0), corner);
    EXPECT_EQ(image.GetPixelColor(140, 0), corner);
    EXPECT_EQ(image.GetPixelColor(0, 140), corner);
    EXPECT_EQ(image.GetPixelColor(140, 140), corner);
    EXPECT_EQ(image.GetPixelColor(70, 70), (RgbQuad{255, 255, 255, 0}));

    // Exactly 90 degrees: new (k, r) = old (W - r, k); row 0 lies outside the source.
    CxImage tagged;
    MakeTagged(tagged, 5, 3);
    ASSERT_TRUE(tagged.Rotate(90.0f));
    ASSERT_EQ(tagged.GetWidth(), 3u);
    ASSERT_EQ(tagged.GetHeight(), 5u);
    for (int r = 1; r < 5; ++r)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(tagged.GetPixelColor(k, r), Tag(5 - r, k)) << k << "," << r;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(tagged.GetPixelColor(k, 0), Tag(0, 0));

    // Palette image with a background index: outside positions take it.
    CxImage indexed;
    MakeTagged(indexed, 10, 10, 8);
    indexed.SetBackgroundIndex(200);
    ASSERT_TRUE(indexed.Rotate(30.0f));
    EXPECT_EQ(indexed.GetPixelIndex(0, 0), 200);
}

TEST(Resample, NearestPixelCoordinates) {
    CxImage page;
    MakeTagged(page, 1275, 1650);
    page.SetXDPI(150);
    // Tags only keep the low bits; record full coordinates through two channels.
    for (int y = 0; y < 1650; ++y) {
        uint8_t* row = page.GetBits(y);
        for (int x = 0; x < 1275; ++x) {
            row[3 * x] = static_cast<uint8_t>(x % 256);
            row[3 * x + 1] = static_cast<uint8_t>(y % 256);
            row[3 * x + 2] = static_cast<uint8_t>((x / 256) * 16 + y / 256);
        }
    }
    auto decode = [](RgbQuad c, int& x, int& y) {
        x = c.rgbBlue + 256 * (c.rgbRed / 16);
        y = c.rgbGreen + 256 * (c.rgbRed % 16);
    };
    ASSERT_TRUE(page.Resample(800, 600));
    ASSERT_EQ(page.GetWidth(), 800u);
    ASSERT_EQ(page.GetHeight(), 600u);
    EXPECT_EQ(page.GetXDPI(), 150);
    int x = 0, y = 0;
    decode(page.GetPixelColor(799, 599), x, y);
    EXPECT_EQ(x, 1273);
    EXPECT_EQ(y, 1647);
    decode(page.GetPixelColor(1, 1), x, y);
    EXPECT_EQ(x, 1);  // trunc(1.59375)
    EXPECT_EQ(y, 2);  // trunc(2.75)

    EXPECT_FALSE(page.Resample(0, 600));
    EXPECT_TRUE(page.Resample(800, 600));
    EXPECT_EQ(page.GetWidth(), 800u);

    // Palette image: indices survive through the nearest-colour mapping (enlarging).
    CxImage indexed;
    MakeTagged(indexed, 3, 2, 4);
    indexed.SetStdPalette();
    ASSERT_TRUE(indexed.Resample(6, 4));
    for (int yy = 0; yy < 4; ++yy)
        for (int xx = 0; xx < 6; ++xx) EXPECT_EQ(indexed.GetPixelIndex(xx, yy), (xx / 2 + 3 * (yy / 2)) % 16);
}
