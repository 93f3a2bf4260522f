#pragma once
// Small asymmetric test images and an independent reader (ImageMagick) for the writer tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/save_file.h"
#include "image/test_pixels.h"
#include "image/ximage.h"
#include "support/test_support.h"

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << ")";
}

// Colour of column x of row top (0 = top row): every corner differs, and so do the channels.
inline Rgb SampleColour(uint32_t x, uint32_t top) {
    return Rgb{static_cast<uint8_t>(30 + 40 * x), static_cast<uint8_t>(20 + 50 * top),
               static_cast<uint8_t>(250 - 40 * x - 10 * top)};
}

// Sets the pixel of column x, row top (counted from the top) of a colour image.
inline void SetTopPixel(CxImage& image, uint32_t x, uint32_t top, Rgb c) {
    SetPixelColour(image, static_cast<int32_t>(x), static_cast<int32_t>(image.GetHeight() - 1 - top),
                   RgbQuad{c.b, c.g, c.r, 0});
}

// A 24-bit image of SampleColour pixels (6 × 5 unless told otherwise).
inline void MakeSampleImage(CxImage& image, uint32_t width = 6, uint32_t height = 5) {
    ASSERT_NE(image.Create(width, height, 24, 0), nullptr);
    for (uint32_t top = 0; top < height; ++top)
        for (uint32_t x = 0; x < width; ++x) SetTopPixel(image, x, top, SampleColour(x, top));
}

// An 8-bit image with the identity grey palette; grey level = 10 + 40 x + 7 top.
inline uint8_t SampleGrey(uint32_t x, uint32_t top) {
    return static_cast<uint8_t>(10 + 40 * x + 7 * top);
}
inline void MakeGreyImage(CxImage& image, uint32_t width = 6, uint32_t height = 5) {
    ASSERT_NE(image.Create(width, height, 8, 0), nullptr);
    image.SetGrayPalette();
    for (uint32_t top = 0; top < height; ++top)
        for (uint32_t x = 0; x < width; ++x)
            image.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(height - 1 - top),
                                SampleGrey(x, top));
}

struct DecodedImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;  // top row first
    Rgb At(uint32_t x, uint32_t top) const {
        const size_t i = (static_cast<size_t>(top) * width + x) * 3;
        return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// Decodes any file ImageMagick reads into 8-bit RGB, top row first.
inline DecodedImage DecodeWithMagick(const std::string& path, const std::string& prefix = "") {
    DecodedImage image;
    const std::string ppm = path + ".decoded.ppm";
    const ShellResult result = RunShell("convert " + ShellQuote(prefix + path) +
                                        " -strip -depth 8 " + ShellQuote("ppm:" + ppm));
    if (result.exitCode != 0) {
        ADD_FAILURE() << "convert failed on " << path << ": " << result.err;
        return image;
    }
    // "P6 W H 255" and one white-space byte, then the samples.
    const std::string bytes = ReadFile(ppm);
    std::istringstream header(bytes);
    std::string magic;
    uint32_t maxValue = 0;
    header >> magic >> image.width >> image.height >> maxValue;
    const auto start = static_cast<size_t>(header.tellg()) + 1;
    EXPECT_EQ(magic, "P6");
    image.rgb.assign(bytes.begin() + static_cast<long>(start), bytes.end());
    EXPECT_EQ(image.rgb.size(), static_cast<size_t>(image.width) * image.height * 3) << path;
    return image;
}

inline void ExpectSamplePixels(const DecodedImage& decoded, uint32_t width = 6,
                               uint32_t height = 5) {
    ASSERT_EQ(decoded.width, width);
    ASSERT_EQ(decoded.height, height);
    for (uint32_t top = 0; top < height; ++top)
        for (uint32_t x = 0; x < width; ++x)
            EXPECT_EQ(decoded.At(x, top), SampleColour(x, top)) << "x " << x << " top " << top;
}

inline void ExpectGreyPixels(const DecodedImage& decoded, uint32_t width = 6, uint32_t height = 5) {
    ASSERT_EQ(decoded.width, width);
    ASSERT_EQ(decoded.height, height);
    for (uint32_t top = 0; top < height; ++top)
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t g = SampleGrey(x, top);
            EXPECT_EQ(decoded.At(x, top), (Rgb{g, g, g})) << "x " << x << " top " << top;
        }
}
