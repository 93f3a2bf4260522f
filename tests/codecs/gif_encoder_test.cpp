// GIF encoder: exact bytes of small files, the LZW code stream read back by a reference
// decoder written here, and round trips through independent GIF readers.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "codecs/ximage_gif.h"
#include "image/test_pixels.h"
#include "image/ximage.h"
#include "support/pnm_reader.h"

namespace {

// A palette of distinct colours so that decoded colours identify indices.
RgbQuad PaletteColor(uint32_t index, uint32_t bpp) {
    if (bpp == 1) return index ? RgbQuad{40, 200, 250, 0} : RgbQuad{10, 0, 90, 0};
    return RgbQuad{static_cast<uint8_t>(index * 7 % 256), static_cast<uint8_t>(255 - index),
                   static_cast<uint8_t>(index), 0};
}

// Indices in storage order (row 0 at the bottom); pattern(x, yFromTop) gives each index.
template <typename Pattern>
void MakePaletteImage(CxImage& image, uint32_t width, uint32_t height, uint32_t bpp,
                      Pattern pattern) {
    ASSERT_NE(image.Create(width, height, bpp, kFormatGif), nullptr);
    const uint32_t colors = 1u << bpp;
    std::vector<RgbQuad> palette(colors);
    for (uint32_t i = 0; i < colors; ++i) palette[i] = PaletteColor(i, bpp);
    image.SetPalette(palette.data(), colors);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            image.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(height - 1 - y),
                                static_cast<uint8_t>(pattern(x, y) % colors));
        }
    }
}

std::vector<uint8_t> EncodeToBytes(CxImage& image) {
    MemoryImageStream stream;
    EXPECT_TRUE(EncodeGif(image, &stream)) << image.GetLastError();
    return stream.Buffer();
}

struct CodeRecord {
    uint32_t code;
    int width;
    uint32_t nextCodeBefore;  // decoder's next free code when the code was read
};

// A plain GIF LZW decoder over the image data of a file holding one image without a local
// table. It records every code with its width and returns the indices top row first.
struct ReferenceDecoder {
    std::vector<uint8_t> indices;
    std::vector<CodeRecord> codes;
    std::vector<int> subBlockLengths;
    int minimumCodeSize = 0;

    bool Decode(const std::vector<uint8_t>& file) {
        const uint8_t flags = file[10];
        size_t pos = 13 + ((flags & 0x80) ? 3u * (2u << (flags & 7)) : 0);
        while (pos < file.size() && file[pos] == 0x21) {  // extensions
            pos += 2;
            while (file[pos] != 0) pos += file[pos] + 1;
            ++pos;
        }
        if (file.at(pos) != 0x2C) return false;
        pos += 10;
        minimumCodeSize = file.at(pos++);
        std::vector<uint8_t> data;
        while (file.at(pos) != 0) {
            subBlockLengths.push_back(file[pos]);
            data.insert(data.end(), file.begin() + pos + 1, file.begin() + pos + 1 + file[pos]);
            pos += file[pos] + 1;
        }
        const uint32_t clear = 1u << minimumCodeSize;
        const uint32_t end = clear + 1;
        std::vector<std::vector<uint8_t>> table;
        auto reset = [&] {
            table.assign(clear + 2, {});
            for (uint32_t i = 0; i < clear; ++i) table[i] = {static_cast<uint8_t>(i)};
        };
        reset();
        int width = minimumCodeSize + 1;
        size_t bit = 0;
        int previous = -1;
        while (bit + width <= data.size() * 8) {
            uint32_t code = 0;
            for (int i = 0; i < width; ++i, ++bit) {
                code |= ((data[bit / 8] >> (bit % 8)) & 1u) << i;
            }
            codes.push_back({code, width, static_cast<uint32_t>(table.size())});
            if (code == clear) {
                reset();
                width = minimumCodeSize + 1;
                previous = -1;
                continue;
            }
            if (code == end) return true;
            std::vector<uint8_t> entry;
            if (code < table.size()) {
                entry = table[code];
            } else if (code == table.size() && previous >= 0) {
                entry = table[previous];
                entry.push_back(table[previous][0]);
            } else {
                return false;
            }
            if (previous >= 0 && table.size() < 4096) {
                std::vector<uint8_t> added = table[previous];
                added.push_back(entry[0]);
                table.push_back(added);
            }
            indices.insert(indices.end(), entry.begin(), entry.end());
            if (table.size() == (1u << width) && width < 12) ++width;
            previous = static_cast<int>(code);
        }
        return false;
    }
};

std::string TempFile(const std::string& name) { return testing::TempDir() + "gif_encoder_" + name; }

// Decodes the file with an outside reader and maps the colours back to palette indices.
void ExpectReaderGivesIndices(const std::string& command, const std::string& output,
                              const CxImage& image) {
    DecodedImage decoded;
    ASSERT_TRUE(DecodeWith(command, output, decoded)) << command;
    ASSERT_EQ(decoded.width, static_cast<int>(image.GetWidth()));
    ASSERT_EQ(decoded.height, static_cast<int>(image.GetHeight()));
    for (int y = 0; y < decoded.height; ++y) {
        for (int x = 0; x < decoded.width; ++x) {
            const RgbQuad c = image.GetPaletteColor(
                image.GetPixelIndex(x, static_cast<int32_t>(image.GetHeight()) - 1 - y));
            ASSERT_EQ(decoded.At(x, y), (RgbPixel{c.rgbRed, c.rgbGreen, c.rgbBlue}))
                << command << " at " << x << "," << y;
        }
    }
}

void ExpectIndependentReadersAgree(CxImage& image, const std::string& name) {
    const std::string gifPath = TempFile(name + ".gif");
    WriteFileBytes(gifPath, EncodeToBytes(image));
    const std::string ppm = TempFile(name + ".ppm");
    if (ToolAvailable("giftopnm")) {
        ExpectReaderGivesIndices("giftopnm " + ShellQuote(gifPath) + " > " + ShellQuote(ppm), ppm,
                                 image);
    }
    if (ToolAvailable("/usr/bin/convert")) {
        ExpectReaderGivesIndices(
            "/usr/bin/convert " + ShellQuote(gifPath) + " " + ShellQuote("ppm:" + ppm), ppm, image);
    }
}

std::vector<uint8_t> ExpectedIndicesTopFirst(const CxImage& image) {
    std::vector<uint8_t> indices;
    for (int32_t y = static_cast<int32_t>(image.GetHeight()) - 1; y >= 0; --y) {
        for (uint32_t x = 0; x < image.GetWidth(); ++x) {
            indices.push_back(image.GetPixelIndex(static_cast<int32_t>(x), y));
        }
    }
    return indices;
}

uint32_t Noise(uint32_t x, uint32_t y) {
    uint32_t v = x * 73856093u ^ y * 19349663u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    return v ^ (v >> 15);
}

}  // namespace

TEST(GifEncoder, FourPixelMonoImageIsWrittenByteForByte) {
    CxImage image;
    ASSERT_NE(image.Create(4, 1, 1, kFormatGif), nullptr);
    const RgbQuad palette[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    image.SetPalette(palette, 2);
    image.Clear(0);

    const std::vector<uint8_t> expected = {
        'G',  'I',  'F',  '8',  '9',  'a',  0x04, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00,
        0x00, 0xFF, 0xFF, 0xFF, 0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x2C, 0x00, 0x00,
        0x00, 0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x84, 0x51, 0x00, 0x3B};
    EXPECT_EQ(EncodeToBytes(image), expected);

    // The same bytes through the encode dispatch.
    MemoryImageStream stream;
    ASSERT_TRUE(Encode(image, &stream, kFormatGif));
    EXPECT_EQ(stream.Buffer(), expected);
}

TEST(GifEncoder, HeaderFieldsFollowTheDepth) {
    struct Case {
        uint32_t bpp;
        uint8_t screenFlags;
        size_t tableBytes;
        uint8_t codeSize;
    };
    for (const Case c : {Case{1, 0x80, 6, 2}, Case{4, 0xE3, 48, 4}, Case{8, 0xE7, 768, 8}}) {
        CxImage image;
        MakePaletteImage(image, 5, 3, c.bpp, [](uint32_t x, uint32_t y) { return x + y; });
        const std::vector<uint8_t> file = EncodeToBytes(image);
        EXPECT_EQ(file[10], c.screenFlags) << c.bpp;
        const size_t afterTable = 13 + c.tableBytes;
        EXPECT_EQ(file[13], PaletteColor(0, c.bpp).rgbRed);
        const std::vector<uint8_t> control(file.begin() + afterTable,
                                           file.begin() + afterTable + 8);
        EXPECT_EQ(control, (std::vector<uint8_t>{0x21, 0xF9, 0x04, 0, 0, 0, 0xFF, 0}));
        EXPECT_EQ(file[afterTable + 8], 0x2C);
        EXPECT_EQ(file[afterTable + 18], c.codeSize);
        EXPECT_EQ(file.back(), 0x3B);

        ReferenceDecoder decoder;
        ASSERT_TRUE(decoder.Decode(file));
        EXPECT_EQ(decoder.codes.front().code, 1u << c.codeSize);  // clear first
        EXPECT_EQ(decoder.codes.front().width, c.codeSize + 1);
        EXPECT_EQ(decoder.indices, ExpectedIndicesTopFirst(image));
    }
}

TEST(GifEncoder, FullTableIsFollowedByClearAndWidthRestarts) {
    CxImage image;
    MakePaletteImage(image, 256, 96, 8, Noise);
    const std::vector<uint8_t> file = EncodeToBytes(image);
    ReferenceDecoder decoder;
    ASSERT_TRUE(decoder.Decode(file));
    ASSERT_EQ(decoder.indices, ExpectedIndicesTopFirst(image));

    int clearsAfterFullTable = 0;
    int widest = 0;
    for (size_t i = 1; i < decoder.codes.size(); ++i) {
        const CodeRecord& code = decoder.codes[i];
        widest = std::max(widest, code.width);
        // Once the decoder's table holds code 4095 the very next code is a clear code.
        if (code.nextCodeBefore == 4096) {
            ASSERT_EQ(code.code, 256u) << "code " << i;
            ASSERT_EQ(code.width, 12);
            ASSERT_LT(i + 1, decoder.codes.size());
            EXPECT_EQ(decoder.codes[i + 1].width, 9);
            ++clearsAfterFullTable;
        }
        if (decoder.codes[i - 1].code == 256) {
            EXPECT_EQ(code.width, 9);
        }
    }
    EXPECT_GE(clearsAfterFullTable, 2);
    EXPECT_EQ(widest, 12);

    // Every sub-block but the last holds 254 bytes.
    ASSERT_GT(decoder.subBlockLengths.size(), 2u);
    for (size_t i = 0; i + 1 < decoder.subBlockLengths.size(); ++i) {
        ASSERT_EQ(decoder.subBlockLengths[i], 254) << i;
    }
    EXPECT_LE(decoder.subBlockLengths.back(), 254);
}

TEST(GifEncoder, IndependentReadersGiveBackTheIndices) {
    // Distinct corners, so flips and mirrored rows show.
    auto corners = [](uint32_t x, uint32_t y) {
        if (x == 0 && y == 0) return 1u;
        if (x == 6 && y == 0) return 2u;
        if (x == 0 && y == 4) return 3u;
        if (x == 6 && y == 4) return 4u;
        return (x * 5 + y * 3) % 16 == 0 ? 0u : 5u + (x + 2 * y) % 11;
    };
    for (uint32_t bpp : {1u, 4u, 8u}) {
        CxImage image;
        MakePaletteImage(image, 7, 5, bpp, corners);
        ExpectIndependentReadersAgree(image, "corners" + std::to_string(bpp));
    }
    CxImage large;
    MakePaletteImage(large, 301, 67, 8, Noise);
    ExpectIndependentReadersAgree(large, "noise");
}

TEST(GifEncoder, UncompressedAndRunLengthCodesDecodeExactly) {
    // Runs of every length from 1 to 300 of alternating colours, a very long run (several
    // clears' worth) and noise.
    std::vector<uint8_t> sequence;
    for (uint32_t n = 1; n <= 300; ++n) sequence.insert(sequence.end(), n, n % 7);
    sequence.insert(sequence.end(), 60000, 5);
    for (uint32_t i = 0; i < 5000; ++i) sequence.push_back(static_cast<uint8_t>(Noise(i, 1) % 4));
    for (uint32_t n = 2; n <= 80; ++n) {
        sequence.insert(sequence.end(), n, 3);
        sequence.insert(sequence.end(), n, 3);
        sequence.push_back(1);
    }
    const uint32_t width = 401;
    const uint32_t height = static_cast<uint32_t>(sequence.size() / width);
    for (uint32_t bpp : {1u, 4u, 8u}) {
        for (uint32_t option : {1u, 2u}) {
            CxImage image;
            MakePaletteImage(image, width, height, bpp, [&](uint32_t x, uint32_t y) {
                return static_cast<uint32_t>(sequence[y * width + x]);
            });
            image.SetCodecOption(option, kFormatGif);
            const std::vector<uint8_t> file = EncodeToBytes(image);
            ReferenceDecoder decoder;
            ASSERT_TRUE(decoder.Decode(file)) << bpp << " " << option;
            EXPECT_EQ(decoder.indices, ExpectedIndicesTopFirst(image)) << bpp << " " << option;
            const int packet = option == 2 ? 255 : 254;
            for (size_t i = 0; i + 1 < decoder.subBlockLengths.size(); ++i) {
                ASSERT_EQ(decoder.subBlockLengths[i], packet);
            }
            if (bpp == 8) {
                ExpectIndependentReadersAgree(image, "option" + std::to_string(option));
            }
        }
    }
}

TEST(GifEncoder, TrueColourImageIsCutIntoCellsWithLocalTables) {
    CxImage image;
    ASSERT_NE(image.Create(20, 16, 24, kFormatGif), nullptr);
    for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 20; ++x) {
            SetPixelColour(image, 
                x, y, RgbQuad{static_cast<uint8_t>(x * 12), static_cast<uint8_t>(y * 15), 77, 0});
        }
    }
    const std::vector<uint8_t> file = EncodeToBytes(image);
    EXPECT_EQ(file[10], 0x11);
    // 2 x 2 cells, each with a graphic control extension and a local table of 256 entries.
    size_t controls = 0;
    size_t descriptors = 0;
    size_t pos = 13;
    auto skipSubBlocks = [&] {
        while (file.at(pos) != 0) pos += file[pos] + 1;
        ++pos;
    };
    while (file.at(pos) != 0x3B) {
        if (file[pos] == 0x21) {
            if (file[pos + 1] == 0xF9) ++controls;
            pos += 2;
            skipSubBlocks();
        } else {
            ASSERT_EQ(file[pos], 0x2C);
            ++descriptors;
            EXPECT_EQ(file[pos + 9], 0x87);
            pos += 10 + 768 + 1;
            skipSubBlocks();
        }
    }
    EXPECT_EQ(controls, 4u);
    EXPECT_EQ(descriptors, 4u);
    EXPECT_EQ(file.back(), 0x3B);

    if (ToolAvailable("/usr/bin/convert")) {
        const std::string gifPath = TempFile("truecolour.gif");
        const std::string ppm = TempFile("truecolour.ppm");
        WriteFileBytes(gifPath, file);
        DecodedImage decoded;
        ASSERT_TRUE(DecodeWith("/usr/bin/convert " + ShellQuote(gifPath) +
                                   " -coalesce -delete 0--2 " + ShellQuote("ppm:" + ppm),
                               ppm, decoded));
        ASSERT_EQ(decoded.width, 20);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 20; ++x) {
                const RgbQuad c = image.GetPixelColor(x, 15 - y);
                ASSERT_EQ(decoded.At(x, y), (RgbPixel{c.rgbRed, c.rgbGreen, c.rgbBlue}));
            }
        }
    }
}

TEST(GifEncoder, AnimationAndRefusals) {
    CxImage first;
    CxImage second;
    MakePaletteImage(first, 3, 2, 4, [](uint32_t x, uint32_t y) { return x + y; });
    MakePaletteImage(second, 3, 2, 4, [](uint32_t x, uint32_t) { return 9 - x; });
    CxImageGIF writer;
    writer.SetLoops(3);
    MemoryImageStream stream;
    ASSERT_TRUE(writer.EncodeFrames(&stream, {&first, &second}));
    const std::vector<uint8_t>& file = stream.Buffer();
    const size_t loop = 13 + 48;
    EXPECT_EQ(std::string(file.begin() + loop + 3, file.begin() + loop + 14), "NETSCAPE2.0");
    EXPECT_EQ(file[loop + 16], 2);  // loop count - 1

    CxImage truecolour;
    ASSERT_NE(truecolour.Create(2, 2, 24), nullptr);
    CxImage empty;
    MemoryImageStream unused;
    EXPECT_FALSE(writer.EncodeFrames(&unused, {&first, &truecolour}));
    EXPECT_EQ(writer.GetLastError(),
              "CxImageGIF::Encode cannot create animated GIFs with a true color frame. Use "
              "DecreaseBpp before");
    EXPECT_FALSE(writer.EncodeFrames(&unused, {&first, &empty}));
    EXPECT_EQ(writer.GetLastError(), "Empty image");
    EXPECT_FALSE(writer.EncodeFrames(&unused, {}));
    EXPECT_EQ(writer.GetLastError(), "multipage GIF, no images!");

    EXPECT_FALSE(EncodeGif(empty, &unused));
    EXPECT_EQ(empty.GetLastError(), "null image!!!");
    EXPECT_FALSE(EncodeGif(first, nullptr));
    EXPECT_EQ(first.GetLastError(), "null file handler");
}
