// EMF and WMF output: the records and header fields read back by a record walker written
// here, and pictures rendered by independent metafile readers.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "conversion/format_routines.h"
#include "conversion/image_converter.h"
#include "platform/gdi.h"
#include "support/pnm_reader.h"

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) |
           (static_cast<uint32_t>(b.at(at + 3)) << 24);
}
int32_t I32(const std::vector<uint8_t>& b, size_t at) { return static_cast<int32_t>(U32(b, at)); }
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

// Quadrants: top left red, top right green, bottom left blue, bottom right yellow.
RgbPixel QuadrantColour(int x, int yFromTop, int width, int height) {
    const bool left = x < width / 2;
    const bool top = yFromTop < height / 2;
    if (top) return left ? RgbPixel{255, 0, 0} : RgbPixel{0, 255, 0};
    return left ? RgbPixel{0, 0, 255} : RgbPixel{255, 255, 0};
}

// A bottom-up 24-bit page file as the rendering engine writes it.
void WritePageBmp(const std::string& path, int width, int height) {
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> file(54 + imageSize, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    put32(34, imageSize);
    put32(38, 5906);  // 150 dots per inch
    put32(42, 5906);
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
            const RgbPixel p = QuadrantColour(x, height - 1 - row, width, height);
            uint8_t* at = &file[54 + row * stride + x * 3];
            at[0] = p.b;
            at[1] = p.g;
            at[2] = p.r;
        }
    }
    WriteFileBytes(path, file);
}

struct Record {
    uint32_t type;
    size_t offset;
    size_t size;
};

// The screen the frame of an enhanced metafile is measured on: on POSIX the reference screen of
// the GDI stand-in, on Windows the system's own.
struct Screen {
    int widthPixels, heightPixels, widthMillimetres, heightMillimetres;
};
Screen TheScreen() {
    namespace gdi = platform::gdi;
    gdi::HDC dc = gdi::GetDC();
    const Screen screen{gdi::GetDeviceCaps(dc, gdi::kHorzRes), gdi::GetDeviceCaps(dc, gdi::kVertRes),
                        gdi::GetDeviceCaps(dc, gdi::kHorzSize), gdi::GetDeviceCaps(dc, gdi::kVertSize)};
    gdi::ReleaseDC(dc);
    return screen;
}

std::vector<Record> EmfRecords(const std::vector<uint8_t>& file) {
    std::vector<Record> records;
    for (size_t pos = 0; pos + 8 <= file.size();) {
        const uint32_t size = U32(file, pos + 4);
        if (size < 8) break;
        records.push_back({U32(file, pos), pos, size});
        pos += size;
    }
    return records;
}

std::vector<Record> WmfRecords(const std::vector<uint8_t>& file) {
    std::vector<Record> records;
    for (size_t pos = 18; pos + 6 <= file.size();) {
        const size_t size = static_cast<size_t>(U32(file, pos)) * 2;
        if (size < 6) break;
        records.push_back({U16(file, pos + 4), pos, size});
        pos += size;
    }
    return records;
}

class MetafileOutput : public testing::Test {
  protected:
    void SetUp() override {
        folder_ = testing::TempDir() + "metafile_output_" +
                  testing::UnitTest::GetInstance()->current_test_info()->name() + "_";
        page_ = folder_ + "page_001.bmp";
        WritePageBmp(page_, 60, 40);
        converter_.inputFiles = {page_};
        converter_.width = 0;
        converter_.height = 0;
    }

    std::vector<uint8_t> Run(bool enhanced, const std::string& name) {
        converter_.outputPath = folder_ + name;
        std::remove(converter_.outputPath.c_str());
        const bool written =
            enhanced ? RunEmfFormatRoutine(converter_) : RunWmfFormatRoutine(converter_);
        EXPECT_TRUE(written);
        return ReadFileBytes(converter_.outputPath);
    }

    // Renders with command (which writes png) and checks one pixel in each quadrant.
    void ExpectRenderedQuadrants(const std::string& command, const std::string& png) {
        DecodedImage picture;
        const std::string ppm = png + ".ppm";
        std::remove(png.c_str());
        const ShellResult rendered = RunShell(command);
        ASSERT_EQ(rendered.exitCode, 0) << command << "\n" << rendered.err;
        ASSERT_TRUE(DecodeWith("/usr/bin/convert " + ShellQuote(png) +
                                   " -background white -flatten -depth 8 " + ShellQuote("ppm:" + ppm),
                               ppm, picture));
        ASSERT_GT(picture.width, 8);
        ASSERT_GT(picture.height, 8);
        const int w = picture.width;
        const int h = picture.height;
        EXPECT_EQ(picture.At(w / 4, h / 4), (RgbPixel{255, 0, 0})) << command;
        EXPECT_EQ(picture.At(3 * w / 4, h / 4), (RgbPixel{0, 255, 0})) << command;
        EXPECT_EQ(picture.At(w / 4, 3 * h / 4), (RgbPixel{0, 0, 255})) << command;
        EXPECT_EQ(picture.At(3 * w / 4, 3 * h / 4), (RgbPixel{255, 255, 0})) << command;
    }

    std::string folder_;
    std::string page_;
    ImageConverter converter_;
};

}  // namespace

TEST_F(MetafileOutput, EnhancedMetafileRecordsAndHeader) {
    const std::vector<uint8_t> file = Run(true, "page.emf");
    const std::vector<Record> records = EmfRecords(file);
    std::vector<uint32_t> types;
    for (const Record& r : records) types.push_back(r.type);
    // header, pen and brush in, rectangle, stock objects back, objects deleted, stretch mode,
    // the bitmap, end.
    EXPECT_EQ(types, (std::vector<uint32_t>{1, 38, 37, 39, 37, 43, 37, 37, 40, 40, 21, 81, 14}));
    ASSERT_EQ(records.size(), 13u);

    // Header: bounds in pixels, frame in hundredths of a millimetre from the screen's size.
    const Screen screen = TheScreen();
#ifndef _WIN32
    // The stand-in's reference screen: 1920 x 1080 pixels, 508 x 286 mm.
    EXPECT_EQ(screen.widthPixels, 1920);
    EXPECT_EQ(screen.heightPixels, 1080);
    EXPECT_EQ(screen.widthMillimetres, 508);
    EXPECT_EQ(screen.heightMillimetres, 286);
#endif
    ASSERT_GT(screen.widthPixels, 0);
    ASSERT_GT(screen.heightPixels, 0);
    EXPECT_EQ(I32(file, 8), 0);
    EXPECT_EQ(I32(file, 12), 0);
    EXPECT_EQ(I32(file, 16), 59);
    EXPECT_EQ(I32(file, 20), 39);
    EXPECT_EQ(I32(file, 24), 0);
    EXPECT_EQ(I32(file, 28), 0);
    EXPECT_EQ(I32(file, 32), 60 * screen.widthMillimetres * 100 / screen.widthPixels);  // truncated
    EXPECT_EQ(I32(file, 36), 40 * screen.heightMillimetres * 100 / screen.heightPixels);
    EXPECT_EQ(U32(file, 40), 0x464D4520u);
    EXPECT_EQ(U32(file, 48), file.size());
    EXPECT_EQ(U32(file, 52), 13u);
    EXPECT_EQ(U16(file, 56), 3);  // two objects plus the reserved handle 0
    const uint32_t descriptionChars = U32(file, 60);
    const uint32_t descriptionOffset = U32(file, 64);
    ASSERT_GE(descriptionChars, 4u);
    std::string description;
    for (uint32_t i = 0; i < descriptionChars; ++i) {
        description.push_back(static_cast<char>(U16(file, descriptionOffset + 2 * i)));
    }
    EXPECT_EQ(description.substr(0, 4), std::string("www\0", 4));
    EXPECT_EQ(I32(file, 72), screen.widthPixels);
    EXPECT_EQ(I32(file, 76), screen.heightPixels);
    EXPECT_EQ(I32(file, 80), screen.widthMillimetres);
    EXPECT_EQ(I32(file, 84), screen.heightMillimetres);

    // White solid pen and brush, the background rectangle, the stock objects selected back.
    EXPECT_EQ(U32(file, records[1].offset + 12), 0u);           // PS_SOLID
    EXPECT_EQ(U32(file, records[1].offset + 24), 0x00FFFFFFu);  // colour
    EXPECT_EQ(U32(file, records[3].offset + 16), 0x00FFFFFFu);
#ifdef _WIN32
    // GDI records the box in the compatible graphics mode by its last pixels, inclusive.
    const std::vector<int32_t> box{0, 0, 59, 39};
#else
    const std::vector<int32_t> box{0, 0, 60, 40};
#endif
    EXPECT_EQ(std::vector<int32_t>(
                  {I32(file, records[5].offset + 8), I32(file, records[5].offset + 12),
                   I32(file, records[5].offset + 16), I32(file, records[5].offset + 20)}),
              box);
    EXPECT_EQ(U32(file, records[6].offset + 8), 0x80000007u);  // BLACK_PEN
    EXPECT_EQ(U32(file, records[7].offset + 8), 0x80000000u);  // WHITE_BRUSH
    EXPECT_EQ(U32(file, records[10].offset + 8), 3u);          // COLORONCOLOR
    // End record: no palette, and the last field repeats the record size.
    EXPECT_EQ(records[12].size, 20u);
    EXPECT_EQ(U32(file, records[12].offset + 8), 0u);
    EXPECT_EQ(U32(file, records[12].offset + 12), 16u);
    EXPECT_EQ(U32(file, records[12].offset + 16), 20u);

    // The page, stretched from its own size (no size was requested) with SRCCOPY.
    const size_t s = records[11].offset;
    EXPECT_EQ(I32(file, s + 24), 0);
    EXPECT_EQ(I32(file, s + 28), 0);
    EXPECT_EQ(I32(file, s + 40), 60);
    EXPECT_EQ(I32(file, s + 44), 40);
    EXPECT_EQ(U32(file, s + 64), 0u);
    EXPECT_EQ(U32(file, s + 68), 0x00CC0020u);
    EXPECT_EQ(I32(file, s + 72), 60);
    EXPECT_EQ(I32(file, s + 76), 40);
    const size_t bmi = s + U32(file, s + 48);
    EXPECT_EQ(I32(file, bmi + 4), 60);
    EXPECT_EQ(U16(file, bmi + 14), 24);
    EXPECT_EQ(I32(file, bmi + 24), 5906);  // the page file's own resolution
}

TEST_F(MetafileOutput, EnhancedMetafileFrameFollowsRequestedSize) {
    converter_.width = 1275;
    converter_.height = 1650;
    const std::vector<uint8_t> file = Run(true, "sized.emf");
    const Screen screen = TheScreen();
    ASSERT_GT(screen.widthPixels, 0);
    ASSERT_GT(screen.heightPixels, 0);
    // On the reference screen 1275 * 508 * 100 / 1920 = 33734.375 and 1650 * 286 * 100 / 1080
    // = 43694.4, truncated.
    EXPECT_EQ(I32(file, 32), 1275 * screen.widthMillimetres * 100 / screen.widthPixels);
    EXPECT_EQ(I32(file, 36), 1650 * screen.heightMillimetres * 100 / screen.heightPixels);
    EXPECT_EQ(I32(file, 16), 1274);
    EXPECT_EQ(I32(file, 20), 1649);
}

TEST_F(MetafileOutput, WindowsMetafileRecordsAndHeader) {
    converter_.xResolution = 300;
    converter_.yResolution = 300;
    const std::vector<uint8_t> file = Run(false, "page.wmf");
    ASSERT_GE(file.size(), 18u);
    EXPECT_NE(U32(file, 0), 0x9AC6CDD7u);  // no placeable header
    EXPECT_EQ(U16(file, 0), 1);
    EXPECT_EQ(U16(file, 2), 9);
    EXPECT_EQ(U16(file, 4), 0x0300);
    EXPECT_EQ(static_cast<size_t>(U32(file, 6)) * 2, file.size());
    const std::vector<Record> records = WmfRecords(file);
    std::vector<uint32_t> types;
    uint32_t largest = 0;
    for (const Record& r : records) {
        types.push_back(r.type);
        largest = std::max<uint32_t>(largest, static_cast<uint32_t>(r.size / 2));
    }
    EXPECT_EQ(types,
              (std::vector<uint32_t>{0x02FA, 0x012D, 0x02FC, 0x012D, 0x041B, 0x02FA, 0x012D, 0x02FC,
                                     0x012D, 0x01F0, 0x01F0, 0x0107, 0x0F43, 0x0000}));
    EXPECT_EQ(U32(file, 12), largest);
    ASSERT_EQ(records.size(), 14u);

    // Rectangle parameters are stored bottom, right, top, left.
    const size_t r = records[4].offset + 6;
    EXPECT_EQ(
        std::vector<uint16_t>({U16(file, r), U16(file, r + 2), U16(file, r + 4), U16(file, r + 6)}),
        (std::vector<uint16_t>{40, 60, 0, 0}));
    // The bitmap header carries the requested resolution: 300 dpi = 11811 pixels per metre.
    const size_t stretch = records[12].offset + 6;
    EXPECT_EQ(U32(file, stretch), 0x00CC0020u);
    const size_t dib = stretch + 4 + 2 + 8 * 2;
    EXPECT_EQ(I32(file, dib + 4), 60);
    EXPECT_EQ(I32(file, dib + 8), 40);
    EXPECT_EQ(I32(file, dib + 24), 11811);
    EXPECT_EQ(I32(file, dib + 28), 11811);
}

TEST_F(MetafileOutput, IndependentReadersRenderThePage) {
    // The WMF reader draws with the standard fonts; without them it fails on any metafile.
    REQUIRE_FONT("Helvetica");
    Run(true, "render.emf");
    if (ToolAvailable("emf2svg-conv") && ToolAvailable("rsvg-convert")) {
        const std::string svg = folder_ + "render.svg";
        ExpectRenderedQuadrants("emf2svg-conv -i " + ShellQuote(folder_ + "render.emf") + " -o " +
                                    ShellQuote(svg) + " && rsvg-convert " + ShellQuote(svg) +
                                    " -o " + ShellQuote(folder_ + "emf.png"),
                                folder_ + "emf.png");
    }
    Run(false, "render.wmf");
    if (ToolAvailable("wmf2gd")) {
        ExpectRenderedQuadrants("wmf2gd -t png -o " + ShellQuote(folder_ + "wmf.png") + " " +
                                    ShellQuote(folder_ + "render.wmf"),
                                folder_ + "wmf.png");
    }
}

TEST_F(MetafileOutput, RotationTurnsThePageFreely) {
    converter_.rotation = 90;
    const std::vector<uint8_t> file = Run(true, "turned.emf");
    const std::vector<Record> records = EmfRecords(file);
    ASSERT_EQ(records.size(), 13u);
    const size_t s = records[11].offset;
    EXPECT_EQ(I32(file, s + 40), 40);  // source is the turned page
    EXPECT_EQ(I32(file, s + 44), 60);
}

TEST_F(MetafileOutput, FailuresLeaveNoFile) {
    // The temporary folder outlives the run: no file of an earlier one may pass for this one's.
    for (const char* name : {"missing.emf", "missing.wmf", "huge.wmf"}) std::remove((folder_ + name).c_str());
    converter_.inputFiles = {folder_ + "missing.bmp"};
    converter_.outputPath = folder_ + "missing.emf";
    EXPECT_FALSE(RunEmfFormatRoutine(converter_));
    EXPECT_TRUE(ReadFileBytes(converter_.outputPath).empty());
    converter_.outputPath = folder_ + "missing.wmf";
    EXPECT_FALSE(RunWmfFormatRoutine(converter_));
    EXPECT_FALSE(std::ifstream(converter_.outputPath).good());

    converter_.inputFiles = {page_};
    converter_.outputPath = folder_ + "no/such/folder/page.emf";
    EXPECT_FALSE(RunEmfFormatRoutine(converter_));
    converter_.outputPath = folder_ + "no/such/folder/page.wmf";
    EXPECT_FALSE(RunWmfFormatRoutine(converter_));

    // A picture too large for 16-bit coordinates cannot be a plain metafile.
    converter_.width = 40000;
    converter_.height = 100;
    converter_.outputPath = folder_ + "huge.wmf";
    EXPECT_FALSE(RunWmfFormatRoutine(converter_));
    EXPECT_FALSE(std::ifstream(converter_.outputPath).good());

    // An older file of the name stays intact when writing fails.
    converter_.width = 0;
    converter_.height = 0;
    converter_.inputFiles = {folder_ + "missing.bmp"};
    converter_.outputPath = folder_ + "kept.emf";
    WriteFileBytes(converter_.outputPath, {1, 2, 3});
    EXPECT_FALSE(RunEmfFormatRoutine(converter_));
    EXPECT_EQ(ReadFileBytes(converter_.outputPath), (std::vector<uint8_t>{1, 2, 3}));
}
