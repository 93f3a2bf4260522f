// Greyscale conversion, the octree quantizer, nearest-colour mapping and depth reduction.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "image/page_steps.h"
#include "image/octree_quantizer.h"
#include "image/test_pixels.h"
#include "image/ximage.h"

namespace {

RgbQuad Colour(uint8_t r, uint8_t g, uint8_t b) { return RgbQuad{b, g, r, 0}; }

void FillPage(CxImage& image, uint32_t width, uint32_t height, RgbQuad colour) {
    ASSERT_NE(image.Create(width, height, 24), nullptr);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) SetPixelColour(image, x, y, colour);
}

}  // namespace

TEST(ConvertToGrey, WeightsAndPaletteImages) {
    CxImage image;
    ASSERT_NE(image.Create(4, 1, 24), nullptr);
    SetPixelColour(image, 0, 0, Colour(255, 0, 0));
    SetPixelColour(image, 1, 0, Colour(255, 255, 255));
    SetPixelColour(image, 2, 0, Colour(0, 0, 255));
    SetPixelColour(image, 3, 0, Colour(0, 255, 0));
    image.SetXDPI(150);
    ASSERT_TRUE(image.ConvertToGrey());
    EXPECT_EQ(image.GetBpp(), 8u);
    EXPECT_TRUE(HasGreyRamp(image));
    EXPECT_EQ(image.GetXDPI(), 150);
    EXPECT_EQ(image.GetPixelIndex(0, 0), 76);
    EXPECT_EQ(image.GetPixelIndex(1, 0), 255);
    EXPECT_EQ(image.GetPixelIndex(2, 0), 29);
    EXPECT_EQ(image.GetPixelIndex(3, 0), 149);

    // 4 bits: expanded to 8-bit grey through each entry's grey value.
    CxImage four;
    ASSERT_NE(four.Create(2, 1, 4), nullptr);
    four.SetPaletteColor(3, Colour(255, 0, 0));
    four.SetPaletteColor(9, Colour(0, 0, 255));
    four.SetPixelIndex(0, 0, 3);
    four.SetPixelIndex(1, 0, 9);
    four.SetBackgroundIndex(3);
    ASSERT_TRUE(four.ConvertToGrey());
    EXPECT_EQ(four.GetBpp(), 8u);
    EXPECT_EQ(four.GetPixelIndex(0, 0), 76);
    EXPECT_EQ(four.GetPixelIndex(1, 0), 29);
    EXPECT_EQ(four.GetBackgroundIndex(), 76);

    CxImage empty;
    EXPECT_FALSE(empty.ConvertToGrey());
}

TEST(OctreeQuantizer, BlackAndWhitePageGivesTwoEntriesInChildOrder) {
    CxImage page;
    FillPage(page, 40, 30, Colour(255, 255, 255));
    for (uint32_t x = 5; x < 20; ++x) SetPixelColour(page, x, 10, Colour(0, 0, 0));
    OctreeQuantizer quantizer(256, 7);
    ASSERT_TRUE(quantizer.ProcessImage(page.GetDIB()));
    RgbQuad table[256];
    ASSERT_EQ(quantizer.SetColorTable(table, 256), 2u);
    EXPECT_EQ(table[0], Colour(0, 0, 0));
    EXPECT_EQ(table[1], Colour(255, 255, 255));

    ApplyPaletteReduction(page, 8);
    EXPECT_EQ(page.GetBpp(), 8u);
    EXPECT_EQ(page.GetClrImportant(), 256u);
    EXPECT_EQ(page.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(page.GetPixelIndex(5, 10), 0);
    // The unused entries repeat a produced colour.
    EXPECT_EQ(page.GetPaletteColor(2), Colour(0, 0, 0));
    EXPECT_EQ(page.GetPaletteColor(255), Colour(0, 0, 0));

    OctreeQuantizer unsupported(16, 8);
    CxImage sixteen;
    ASSERT_NE(sixteen.Create(1, 1, 24), nullptr);
    BitmapInfoHeader header = sixteen.GetHeader();
    header.biBitCount = 16;
    std::vector<uint8_t> block(sizeof(header) + 4);
    std::memcpy(block.data(), &header, sizeof(header));
    EXPECT_FALSE(unsupported.ProcessImage(block.data()));
}

TEST(OctreeQuantizer, GreyRampMergesPairsOfLevels) {
    // Every grey level once: the 7-bit tree puts 2k and 2k+1 into one leaf, so 128 leaves
    // remain, each the average of its pair.
    CxImage ramp;
    ASSERT_NE(ramp.Create(256, 1, 24), nullptr);
    for (int x = 0; x < 256; ++x) {
        const auto v = static_cast<uint8_t>(x);
        SetPixelColour(ramp, x, 0, Colour(v, v, v));
    }
    ASSERT_TRUE(ramp.ConvertToGrey());
    OctreeQuantizer quantizer(256, 7);
    ASSERT_TRUE(quantizer.ProcessImage(ramp.GetDIB()));
    RgbQuad table[256];
    const uint32_t produced = quantizer.SetColorTable(table, 256);
    EXPECT_LE(produced, 128u);
    EXPECT_EQ(table[0], Colour(0, 0, 0));
    EXPECT_EQ(table[1], Colour(2, 2, 2));  // (2 + 3) / 2

    ApplyPaletteReduction(ramp, 8);
    std::set<int> used;
    for (int x = 0; x < 256; ++x) used.insert(ramp.GetPixelIndex(x, 0));
    EXPECT_LE(used.size(), 128u);
    EXPECT_FALSE(HasGreyRamp(ramp));
}

TEST(OctreeQuantizer, ManyColoursReduceToTheThreshold) {
    CxImage image;
    ASSERT_NE(image.Create(64, 64, 24), nullptr);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            SetPixelColour(image, x, y, Colour(static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4),
                                             static_cast<uint8_t>((x ^ y) * 4)));
    OctreeQuantizer sixteen(16, 8);
    ASSERT_TRUE(sixteen.ProcessImage(image.GetDIB()));
    EXPECT_LE(sixteen.GetLeafCount(), 16u);
    ApplyPaletteReduction(image, 4);
    EXPECT_EQ(image.GetBpp(), 4u);
    EXPECT_EQ(image.GetClrImportant(), 16u);
}

TEST(NearestColour, TiesAndTheOneBitThreshold) {
    CxImage image;
    ASSERT_NE(image.Create(4, 1, 24), nullptr);
    SetPixelColour(image, 0, 0, Colour(127, 128, 128));  // sum 383: white
    SetPixelColour(image, 1, 0, Colour(127, 127, 128));  // sum 382: black
    SetPixelColour(image, 2, 0, Colour(255, 255, 255));
    SetPixelColour(image, 3, 0, Colour(0, 0, 1));
    ASSERT_TRUE(image.DecreaseBpp(1, false, nullptr, 2));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(image.GetPixelIndex(1, 0), 0);
    EXPECT_EQ(image.GetPixelIndex(2, 0), 1);
    EXPECT_EQ(image.GetPixelIndex(3, 0), 0);
    EXPECT_EQ(image.GetPaletteColor(0), Colour(0, 0, 0));
    EXPECT_EQ(image.GetPaletteColor(1), Colour(255, 255, 255));
    EXPECT_EQ(image.GetClrImportant(), 2u);

    // Equal distances: the lower index wins; the cache follows palette changes.
    CxImage palette;
    ASSERT_NE(palette.Create(1, 1, 4), nullptr);
    palette.SetPaletteColor(0, Colour(50, 50, 50));
    palette.SetPaletteColor(1, Colour(10, 0, 0));
    palette.SetPaletteColor(2, Colour(0, 10, 0));
    EXPECT_EQ(palette.GetNearestIndex(Colour(5, 5, 0)), 1);
    palette.SetPaletteColor(1, Colour(200, 0, 0));
    EXPECT_EQ(palette.GetNearestIndex(Colour(5, 5, 0)), 2);
    // Colours important limits the search.
    palette.SetClrImportant(2);
    EXPECT_EQ(palette.GetNearestIndex(Colour(0, 10, 0)), 0);
}

TEST(DecreaseBpp, DepthRules) {
    CxImage grey;
    ASSERT_NE(grey.Create(2, 1, 8), nullptr);
    grey.SetGrayPalette();
    grey.SetPixelIndex(0, 0, 10);
    grey.SetPixelIndex(1, 0, 200);
    EXPECT_FALSE(grey.DecreaseBpp(24, false, nullptr, 0));
    EXPECT_EQ(grey.GetLastError(), "DecreaseBpp: target BPP greater than source BPP");

    // Same depth, no colour count: nothing changes.
    void* before = grey.GetDIB();
    EXPECT_TRUE(grey.DecreaseBpp(8, false, nullptr, 0));
    EXPECT_EQ(grey.GetDIB(), before);

    // Same depth with 256 colours: remapped through the new palette.
    std::vector<RgbQuad> table(256, Colour(0, 0, 0));
    table[1] = Colour(255, 255, 255);
    ASSERT_TRUE(grey.DecreaseBpp(8, false, table.data(), 256));
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(grey.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(grey.GetClrImportant(), 256u);

    // Colours important already below the count: nothing changes.
    grey.SetClrImportant(16);
    before = grey.GetDIB();
    EXPECT_TRUE(grey.DecreaseBpp(8, false, table.data(), 256));
    EXPECT_EQ(grey.GetDIB(), before);

    // 4 bits: colours important is the smaller of the count and 16.
    CxImage colour;
    ASSERT_NE(colour.Create(3, 3, 24), nullptr);
    colour.Clear(0);
    ASSERT_TRUE(colour.DecreaseBpp(4, false, table.data(), 20));
    EXPECT_EQ(colour.GetClrImportant(), 16u);
    EXPECT_EQ(colour.GetPaletteColor(1), Colour(255, 255, 255));

    CxImage empty;
    EXPECT_FALSE(empty.DecreaseBpp(1, false, nullptr, 2));
}

TEST(DecreaseBpp, ErrorDiffusionSpreadsTheError) {
    // A flat mid grey: plain mapping makes it all black, diffusion mixes in white pixels.
    CxImage plain, diffused;
    FillPage(plain, 16, 16, Colour(120, 120, 120));
    FillPage(diffused, 16, 16, Colour(120, 120, 120));
    ASSERT_TRUE(plain.DecreaseBpp(1, false, nullptr, 2));
    ASSERT_TRUE(diffused.DecreaseBpp(1, true, nullptr, 2));
    int plainWhite = 0, diffusedWhite = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            plainWhite += plain.GetPixelIndex(x, y);
            diffusedWhite += diffused.GetPixelIndex(x, y);
        }
    EXPECT_EQ(plainWhite, 0);
    EXPECT_GT(diffusedWhite, 60);
    EXPECT_LT(diffusedWhite, 160);
}
