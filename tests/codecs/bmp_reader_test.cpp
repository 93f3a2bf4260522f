// The BMP decoder on every variant, built byte by byte, on hostile files, and on files that
// ImageMagick wrote.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "image/ximage.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

struct InfoFields {
    int32_t width;
    int32_t height;
    uint16_t bits;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int32_t ppm = 3780;
    uint32_t clrUsed = 0;
    uint32_t headerSize = 40;
};

Bytes InfoHeader(const InfoFields& f) {
    Bytes out;
    Put32(out, f.headerSize);
    Put32(out, static_cast<uint32_t>(f.width));
    Put32(out, static_cast<uint32_t>(f.height));
    Put16(out, 1);
    Put16(out, f.bits);
    Put32(out, f.compression);
    Put32(out, f.sizeImage);
    Put32(out, static_cast<uint32_t>(f.ppm));
    Put32(out, static_cast<uint32_t>(f.ppm));
    Put32(out, f.clrUsed);
    Put32(out, 0);
    out.resize(f.headerSize, 0);
    return out;
}

// File header + info header + extra (palette/masks) + pixels.
Bytes BmpFile(const Bytes& info, const Bytes& extra, const Bytes& pixels) {
    Bytes out{'B', 'M'};
    const uint32_t offset = 14 + static_cast<uint32_t>(info.size() + extra.size());
    Put32(out, offset + static_cast<uint32_t>(pixels.size()));
    Put32(out, 0);
    Put32(out, offset);
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

bool Decode(CxImage& image, const Bytes& bytes) {
    MemoryImageStream stream(bytes);
    return Decode(image, stream, kFormatBmp);
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Rgb& c) {
    return o << "(" << c.r << "," << c.g << "," << c.b << ")";
}
Rgb ColourAt(const CxImage& image, int x, int y) {
    const RgbQuad q = image.GetPixelColor(x, y);
    return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
}

// 2x2, 24 bits, bottom-up rows: bottom = red, green; top = blue, white.
Bytes Rows24BottomUp() {
    return Bytes{0, 0, 255, 0, 255, 0, 0, 0,  // bottom row + 2 padding bytes
                 255, 0, 0, 255, 255, 255, 0, 0};
}

void ExpectQuadrants(const CxImage& image) {
    ASSERT_TRUE(image.IsValid());
    EXPECT_EQ(image.GetWidth(), 2u);
    EXPECT_EQ(image.GetHeight(), 2u);
    EXPECT_EQ(ColourAt(image, 0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(ColourAt(image, 1, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(ColourAt(image, 0, 1), (Rgb{0, 0, 255}));
    EXPECT_EQ(ColourAt(image, 1, 1), (Rgb{255, 255, 255}));
}

Bytes Palette4(std::initializer_list<Rgb> colours, uint32_t entrySize = 4) {
    Bytes out;
    for (const Rgb& c : colours) {
        out.push_back(static_cast<uint8_t>(c.b));
        out.push_back(static_cast<uint8_t>(c.g));
        out.push_back(static_cast<uint8_t>(c.r));
        if (entrySize == 4) out.push_back(0);
    }
    return out;
}

}  // namespace

TEST(BmpReader, TrueColourLayoutsGiveTheSamePicture) {
    CxImage bottomUp;
    ASSERT_TRUE(Decode(bottomUp, BmpFile(InfoHeader({2, 2, 24, 0, 0, 5906}), {}, Rows24BottomUp())));
    ExpectQuadrants(bottomUp);
    EXPECT_EQ(bottomUp.GetBpp(), 24u);
    EXPECT_EQ(bottomUp.GetXDPI(), 150);
    EXPECT_EQ(bottomUp.GetYDPI(), 150);
    EXPECT_EQ(bottomUp.GetType(), kFormatBmp);

    // Top-down twin: negative height, top row stored first.
    Bytes topFirst{255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    CxImage topDown;
    ASSERT_TRUE(Decode(topDown, BmpFile(InfoHeader({2, -2, 24}), {}, topFirst)));
    ExpectQuadrants(topDown);

    // Bare DIB: no file header, pixels right after the header.
    Bytes bare = InfoHeader({2, 2, 24, 0, 0, 2835});
    const Bytes rows = Rows24BottomUp();
    bare.insert(bare.end(), rows.begin(), rows.end());
    CxImage dib;
    ASSERT_TRUE(Decode(dib, bare));
    ExpectQuadrants(dib);
    EXPECT_EQ(dib.GetXDPI(), 72);

    // A header of 64 bytes, and a larger one that passes the acceptance rules.
    CxImage os2;
    ASSERT_TRUE(Decode(os2, BmpFile(InfoHeader({2, 2, 24, 0, 0, 3780, 0, 64}), {}, Rows24BottomUp())));
    ExpectQuadrants(os2);
    CxImage v4;
    ASSERT_TRUE(Decode(v4, BmpFile(InfoHeader({2, 2, 24, 0, 16, 3780, 0, 108}), {}, Rows24BottomUp())));
    ExpectQuadrants(v4);
    CxImage v4NoSize;
    EXPECT_FALSE(Decode(v4NoSize, BmpFile(InfoHeader({2, 2, 24, 0, 0, 3780, 0, 108}), {},
                                          Rows24BottomUp())));
    EXPECT_EQ(v4NoSize.GetLastError(), "Error reading BMP info");
}

TEST(BmpReader, PaletteDepthsAndCoreHeader) {
    // 8 bits, 2 palette entries given, 3x1: indices 1, 0, 1.
    CxImage eight;
    ASSERT_TRUE(Decode(eight, BmpFile(InfoHeader({3, 1, 8, 0, 0, 3780, 2}),
                                      Palette4({{10, 20, 30}, {200, 100, 50}}), Bytes{1, 0, 1, 0})));
    EXPECT_EQ(eight.GetBpp(), 8u);
    EXPECT_EQ(eight.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(eight.GetPixelIndex(1, 0), 0);
    EXPECT_EQ(ColourAt(eight, 2, 0), (Rgb{200, 100, 50}));
    EXPECT_EQ(eight.GetPaletteColor(0).rgbReserved, 0);

    // 4 bits, full palette implied (clrUsed 0): left pixel in the high nibble.
    Bytes pal16;
    for (int i = 0; i < 16; ++i) {
        const Bytes one = Palette4({{i * 16, i, 255 - i}});
        pal16.insert(pal16.end(), one.begin(), one.end());
    }
    CxImage four;
    ASSERT_TRUE(Decode(four, BmpFile(InfoHeader({3, 1, 4}), pal16, Bytes{0x5A, 0xF0, 0, 0})));
    EXPECT_EQ(four.GetPixelIndex(0, 0), 5);
    EXPECT_EQ(four.GetPixelIndex(1, 0), 10);
    EXPECT_EQ(four.GetPixelIndex(2, 0), 15);
    EXPECT_EQ(ColourAt(four, 2, 0), (Rgb{240, 15, 240}));

    // 1 bit, width 9: two bytes of bits per row.
    CxImage one;
    ASSERT_TRUE(Decode(one, BmpFile(InfoHeader({9, 1, 1}), Palette4({{0, 0, 0}, {255, 255, 255}}),
                                    Bytes{0xA0, 0x80, 0, 0})));
    EXPECT_EQ(one.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(one.GetPixelIndex(1, 0), 0);
    EXPECT_EQ(one.GetPixelIndex(2, 0), 1);
    EXPECT_EQ(one.GetPixelIndex(8, 0), 1);

    // OS/2 core header: 16-bit fields and 3-byte palette entries.
    Bytes core;
    Put32(core, 12);
    Put16(core, 2);
    Put16(core, 1);
    Put16(core, 1);
    Put16(core, 8);
    CxImage os2;
    ASSERT_TRUE(Decode(os2, BmpFile(core, [] {
        Bytes p = Palette4({{1, 2, 3}, {4, 5, 6}}, 3);
        p.resize(256 * 3, 0);
        return p;
    }(), Bytes{1, 0, 0, 0})));
    EXPECT_EQ(ColourAt(os2, 0, 0), (Rgb{4, 5, 6}));
    EXPECT_EQ(ColourAt(os2, 1, 0), (Rgb{1, 2, 3}));
}

TEST(BmpReader, RunLengthDataIsExpandedWithinBounds) {
    // RLE8, 4x3: row 0 = run of 3 x 7 then EOL; row 1 = absolute 1,2,3 (padded) then EOL;
    // delta to (2,2), one pixel 9, end of bitmap.
    Bytes rle8{3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 0, 1, 9, 0, 1};
    CxImage image;
    ASSERT_TRUE(Decode(image, BmpFile(InfoHeader({4, 3, 8, 1, 0, 3780, 16}), Bytes(64, 0), rle8)));
    const uint8_t expected[3][4] = {{7, 7, 7, 0}, {1, 2, 3, 0}, {0, 0, 9, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(image.GetPixelIndex(x, y), expected[y][x]) << x << "," << y;

    // RLE4, 5x1: run of 5 alternating 1/2, end of bitmap.
    Bytes rle4{5, 0x12, 0, 1};
    CxImage four;
    ASSERT_TRUE(Decode(four, BmpFile(InfoHeader({5, 1, 4, 2}), Bytes(64, 0), rle4)));
    const uint8_t expected4[5] = {1, 2, 1, 2, 1};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(four.GetPixelIndex(x, 0), expected4[x]);
    // RLE4 absolute run of 3 pixels (2 data bytes, already even).
    CxImage absolute;
    ASSERT_TRUE(Decode(absolute, BmpFile(InfoHeader({3, 1, 4, 2}), Bytes(64, 0),
                                         Bytes{0, 3, 0x34, 0x50, 0, 1})));
    EXPECT_EQ(absolute.GetPixelIndex(0, 0), 3);
    EXPECT_EQ(absolute.GetPixelIndex(1, 0), 4);
    EXPECT_EQ(absolute.GetPixelIndex(2, 0), 5);

    // Hostile runs: longer than the row, deltas far outside, absolute run past the data end.
    Bytes hostile{255, 1, 0, 2, 255, 255, 200, 9, 0, 0, 0, 250, 1, 2};
    CxImage safe;
    ASSERT_TRUE(Decode(safe, BmpFile(InfoHeader({2, 2, 8, 1}), Bytes(1024, 0), hostile)));
    EXPECT_EQ(safe.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(safe.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(safe.GetPixelIndex(0, 1), 0);

    // RLE8 on a 4-bit image is not a valid combination.
    CxImage wrong;
    EXPECT_FALSE(Decode(wrong, BmpFile(InfoHeader({2, 2, 4, 1}), Bytes(64, 0), rle8)));
    EXPECT_EQ(wrong.GetLastError(), "compression type not supported");
}

TEST(BmpReader, BitFieldDepthsBecomeTrueColour) {
    // 16 bits, default 5-5-5: pure red, pure blue.
    Bytes px16;
    Put16(px16, 0x7C00);
    Put16(px16, 0x001F);
    CxImage d16;
    ASSERT_TRUE(Decode(d16, BmpFile(InfoHeader({2, 1, 16}), {}, px16)));
    EXPECT_EQ(d16.GetBpp(), 24u);
    EXPECT_EQ(ColourAt(d16, 0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(ColourAt(d16, 1, 0), (Rgb{0, 0, 255}));

    // 16 bits with 5-6-5 masks after a 40-byte header: green 0x07E0 is full green.
    Bytes masks;
    Put32(masks, 0xF800);
    Put32(masks, 0x07E0);
    Put32(masks, 0x001F);
    Bytes px565;
    Put16(px565, 0x07E0);
    Put16(px565, 0x8410);  // half of each
    CxImage d565;
    ASSERT_TRUE(Decode(d565, BmpFile(InfoHeader({2, 1, 16, 3}), masks, px565)));
    EXPECT_EQ(ColourAt(d565, 0, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(ColourAt(d565, 1, 0), (Rgb{132, 130, 132}));

    // 32 bits uncompressed: fourth byte becomes alpha only when some byte is non-zero.
    CxImage opaque;
    ASSERT_TRUE(Decode(opaque, BmpFile(InfoHeader({1, 1, 32}), {}, Bytes{1, 2, 3, 0})));
    EXPECT_EQ(ColourAt(opaque, 0, 0), (Rgb{3, 2, 1}));
    EXPECT_FALSE(opaque.HasAlpha());
    CxImage withAlpha;
    ASSERT_TRUE(Decode(withAlpha, BmpFile(InfoHeader({2, 1, 32}), {}, Bytes{1, 2, 3, 0, 4, 5, 6, 128})));
    ASSERT_TRUE(withAlpha.HasAlpha());
    EXPECT_EQ(withAlpha.AlphaPointer()[1], 128);

    // 32 bits with masks in the other order.
    Bytes masks32;
    Put32(masks32, 0x000000FF);
    Put32(masks32, 0x0000FF00);
    Put32(masks32, 0x00FF0000);
    CxImage swapped;
    ASSERT_TRUE(Decode(swapped, BmpFile(InfoHeader({1, 1, 32, 3}), masks32, Bytes{10, 20, 30, 0})));
    EXPECT_EQ(ColourAt(swapped, 0, 0), (Rgb{10, 20, 30}));

    CxImage rle24;
    EXPECT_FALSE(Decode(rle24, BmpFile(InfoHeader({1, 1, 24, 1}), {}, Bytes(4, 0))));
    EXPECT_EQ(rle24.GetLastError(), "unknown compression");
}

TEST(BmpReader, BrokenAndHostileFilesFailCleanly) {
    CxImage image;
    EXPECT_FALSE(Decode(image, Bytes{'B', 'M', 1, 2}));
    EXPECT_EQ(image.GetLastError(), "Not a BMP");

    const Bytes good = BmpFile(InfoHeader({2, 2, 24}), {}, Rows24BottomUp());
    for (size_t cut : {size_t{20}, size_t{53}, size_t{60}, good.size() - 1}) {
        CxImage truncated;
        EXPECT_FALSE(Decode(truncated, Bytes(good.begin(), good.begin() + cut))) << cut;
        EXPECT_FALSE(truncated.IsValid());
        EXPECT_EQ(truncated.GetLastError(), "Error reading BMP info") << cut;
    }

    // Claims 60000 x 60000 at 24 bits: more than the memory limit.
    CxImage huge;
    EXPECT_FALSE(Decode(huge, BmpFile(InfoHeader({60000, 60000, 24}), {}, Bytes(16, 0))));
    EXPECT_FALSE(huge.IsValid());
    // Within the limit, but the file holds a fraction of the pixels: refused before allocating.
    CxImage thin;
    EXPECT_FALSE(Decode(thin, BmpFile(InfoHeader({8000, 8000, 24}), {}, Bytes(16, 0))));
    EXPECT_EQ(thin.GetLastError(), "Error reading BMP info");

    // Pixel offset far beyond the end of the file.
    Bytes badOffset = good;
    badOffset[10] = 0xFF;
    badOffset[11] = 0xFF;
    badOffset[12] = 0xFF;
    CxImage offset;
    EXPECT_FALSE(Decode(offset, badOffset));

    // Palette entries claimed beyond what the file holds.
    CxImage palette;
    EXPECT_FALSE(Decode(palette, BmpFile(InfoHeader({1, 1, 8, 0, 0, 3780, 256}), Bytes(8, 0), {})));

    // Detection reports its own message; a typed load keeps the decoder's message.
    MemoryImageStream junk(Bytes(100, 'x'));
    CxImage detected;
    EXPECT_FALSE(Decode(detected, junk, kFormatUnknown));
    EXPECT_EQ(detected.GetLastError(), "Decode: Unknown or wrong format");
    TempDir dir;
    WriteFile(dir / "junk.bmp", std::string(100, 'x'));
    CxImage typed;
    EXPECT_FALSE(Load(typed, dir / "junk.bmp", kFormatBmp));
    EXPECT_EQ(typed.GetLastError(), "Error reading BMP info");
    EXPECT_FALSE(Load(typed, dir / "missing.bmp", kFormatBmp));
}

TEST(BmpReader, MutatedFilesNeverReadOrWriteOutOfBounds) {
    // Seeded byte mutations of small valid files of several variants; run under the sanitizers
    // this catches any access outside the stream or the pixel rows.
    const std::vector<Bytes> seeds = {
        BmpFile(InfoHeader({3, 2, 24}), {}, Bytes(24, 9)),
        BmpFile(InfoHeader({4, 3, 8, 1, 0, 3780, 16}), Bytes(64, 1),
                Bytes{3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 2, 2, 0, 1, 9, 0, 1}),
        BmpFile(InfoHeader({5, 2, 4, 2, 0, 3780, 16}), Bytes(64, 2), Bytes{5, 0x12, 0, 3, 0x34, 0x50, 0, 1}),
        BmpFile(InfoHeader({2, 2, 16, 3}), Bytes{0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0}, Bytes(8, 0x55)),
        BmpFile(InfoHeader({2, -2, 32}), {}, Bytes(16, 0x80)),
    };
    std::mt19937 random(12345);
    int decoded = 0;
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes = seeds[round % seeds.size()];
        const int changes = 1 + static_cast<int>(random() % 4);
        // Mostly past the dimensions: a run-length file may rightly describe a huge blank
        // picture, and allocating one per round would only make the test slow.
        const size_t from = round % 10 == 0 ? 0 : 26;
        for (int i = 0; i < changes; ++i) {
            bytes[from + random() % (bytes.size() - from)] = static_cast<uint8_t>(random());
        }
        if (round % 7 == 0) bytes.resize(random() % bytes.size());
        CxImage image;
        if (Decode(image, bytes)) {
            ++decoded;
            ASSERT_TRUE(image.IsValid());
            ASSERT_NE(image.GetBits(image.GetHeight() - 1), nullptr);
        }
    }
    EXPECT_GT(decoded, 100);
}

TEST(BmpReader, EscapeFlagAsksForDimensionsOrCancels) {
    const Bytes good = BmpFile(InfoHeader({2, 2, 24}), {}, Rows24BottomUp());
    CxImage dims;
    dims.SetEscape(-1);
    MemoryImageStream stream(good);
    EXPECT_TRUE(Decode(dims, stream, kFormatBmp));
    EXPECT_EQ(dims.GetLastError(), "output dimensions returned");
    EXPECT_EQ(dims.GetWidth(), 2u);
    EXPECT_FALSE(dims.IsValid());

    CxImage cancelled;
    cancelled.SetEscape(1);
    MemoryImageStream again(good);
    EXPECT_FALSE(Decode(cancelled, again, kFormatBmp));
    EXPECT_EQ(cancelled.GetLastError(), "Cancelled");
}

TEST(BmpReader, ResolutionRoundsPixelsPerMetre) {
    // Pixels per metre written by other programs: 2835 -> 72, 3780 -> 96, 0 -> 96 (unset).
    for (auto [ppm, dpi] : {std::pair{2835, 72}, {3780, 96}, {5906, 150}, {0, 96}, {11811, 300}}) {
        CxImage source;
        ASSERT_NE(source.Create(1, 1, 24), nullptr);
        MemoryImageStream stream;
        ASSERT_TRUE(Encode(source, &stream, kFormatBmp));
        std::vector<uint8_t> bytes = stream.TakeBuffer();
        for (int i = 0; i < 4; ++i) bytes[14 + 24 + i] = bytes[14 + 28 + i] = static_cast<uint8_t>(ppm >> (8 * i));
        MemoryImageStream patched(bytes);
        CxImage loaded;
        ASSERT_TRUE(Decode(loaded, patched, kFormatBmp));
        EXPECT_EQ(loaded.GetXDPI(), dpi) << ppm;
        EXPECT_EQ(loaded.GetYDPI(), dpi) << ppm;
    }
}

TEST(BmpReader, ReadsFilesWrittenByImageMagick) {
    REQUIRE_TOOLS("convert");
    TempDir dir;
    // A 5 x 3 picture of four colours, as PPM (top row first).
    const Rgb colours[4] = {{255, 0, 0}, {0, 128, 0}, {0, 0, 255}, {250, 250, 250}};
    std::string ppm = "P6\n5 3\n255\n";
    auto colourAt = [&](int x, int top) { return colours[(x + 2 * top) % 4]; };
    for (int top = 0; top < 3; ++top)
        for (int x = 0; x < 5; ++x) {
            const Rgb c = colourAt(x, top);
            ppm += static_cast<char>(c.r);
            ppm += static_cast<char>(c.g);
            ppm += static_cast<char>(c.b);
        }
    WriteFile(dir / "in.ppm", ppm);
    struct Variant {
        const char* options;
        uint32_t bits;
    };
    for (const Variant& v : {Variant{"-type TrueColor BMP3:", 24}, Variant{"-type Palette BMP3:", 8},
                             Variant{"-type Palette BMP2:", 8}, Variant{"-type TrueColor BMP2:", 24},
                             Variant{"-compress RLE -type Palette BMP3:", 8}}) {
        const std::string out = dir / "out.bmp";
        const ShellResult r = RunShell("convert " + ShellQuote(dir / "in.ppm") + " " + v.options +
                                       ShellQuote(out));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        CxImage image;
        ASSERT_TRUE(Load(image, out, kFormatBmp)) << v.options << image.GetLastError();
        EXPECT_EQ(image.GetWidth(), 5u);
        EXPECT_EQ(image.GetHeight(), 3u);
        EXPECT_LE(image.GetBpp(), v.bits) << v.options;
        for (int top = 0; top < 3; ++top)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(ColourAt(image, x, 2 - top), colourAt(x, top)) << v.options;
    }
}
