// Pages encoded as TIFFs of their own, moved into one multi-page file: exact offsets on a tiny
// hand-made page, then real encoded pages read back with libtiff.

#include "conversion/tiff_page_append.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codecs/image_stream.h"
#include "codecs/raster_test_image.h"
#include "conversion/tiff_page_facts.h"
#include "codecs/ximage_tif.h"
#include "support/test_support.h"

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint16_t Get16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
}

// A 2 x 2 8-bit grey page, little-endian, laid out by hand:
//   8: pixels (4 bytes), 12: XResolution (rational), 20: "Page 1\0" + 1 pad byte, 28: directory
constexpr size_t kDirectory = 28;
constexpr uint16_t kEntries = 12;

std::vector<uint8_t> TinyPage(uint32_t stripOffset = 8) {
    std::vector<uint8_t> b(kDirectory + 2 + 12 * kEntries + 4, 0);
    b[0] = b[1] = 'I';
    Put16(b, 2, 42);
    Put32(b, 4, kDirectory);
    const uint8_t pixels[4] = {0x00, 0x40, 0x80, 0xFF};
    std::copy(pixels, pixels + 4, b.begin() + 8);
    Put32(b, 12, 150);
    Put32(b, 16, 1);
    const char name[] = "Page 1";
    std::copy(name, name + 7, b.begin() + 20);
    Put16(b, kDirectory, kEntries);
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    const Entry entries[kEntries] = {{256, 3, 1, 2},  {257, 3, 1, 2},  {258, 3, 1, 8},
                                     {259, 3, 1, 1},  {262, 3, 1, 1},  {273, 4, 1, stripOffset},
                                     {277, 3, 1, 1},  {278, 3, 1, 2},  {279, 4, 1, 4},
                                     {282, 5, 1, 12}, {285, 2, 7, 20}, {297, 3, 2, 1 | 1u << 16}};
    for (size_t i = 0; i < kEntries; ++i) {
        const size_t at = kDirectory + 2 + 12 * i;
        Put16(b, at, entries[i].tag);
        Put16(b, at + 2, entries[i].type);
        Put32(b, at + 4, entries[i].count);
        Put32(b, at + 8, entries[i].value);
    }
    return b;
}

// The value field of the entry for tag in a relocated block whose directory starts at offset
// directory - position of the block.
uint32_t FieldOf(const RelocatedTiffPage& page, uint64_t position, uint16_t tag,
                 uint32_t* count = nullptr) {
    const size_t directory = page.directoryOffset - position;
    const uint16_t entries = Get16(page.block, directory);
    for (size_t i = 0; i < entries; ++i) {
        const size_t at = directory + 2 + 12 * i;
        if (Get16(page.block, at) != tag) continue;
        if (count != nullptr) *count = Get32(page.block, at + 4);
        return Get32(page.block, at + 8);
    }
    ADD_FAILURE() << "no tag " << tag;
    return 0;
}

TEST(TiffPageRelocation, EveryOffsetMovesWithThePage) {
    const std::vector<uint8_t> page = TinyPage();
    RelocatedTiffPage moved;
    std::string error;
    ASSERT_TRUE(RelocateTiffPage(page, 100, 1, moved, error)) << error;
    // Byte 8 of the page lands at 100: every offset grows by 92.
    EXPECT_EQ(moved.block.size(), page.size() - 8);
    EXPECT_EQ(moved.directoryOffset, 120u);
    EXPECT_EQ(moved.nextPointerOffset, 120u + 2 + 12 * kEntries);
    EXPECT_EQ(FieldOf(moved, 100, 273), 100u);  // StripOffsets
    EXPECT_EQ(FieldOf(moved, 100, 282), 104u);  // XResolution
    EXPECT_EQ(FieldOf(moved, 100, 285), 112u);  // PageName, already right
    EXPECT_EQ(FieldOf(moved, 100, 279), 4u);    // byte counts and inline values stay
    EXPECT_EQ(FieldOf(moved, 100, 297), 1u | 1u << 16);
    // Data bytes are copied as they were.
    EXPECT_EQ(std::vector<uint8_t>(moved.block.begin(), moved.block.begin() + 20),
              std::vector<uint8_t>(page.begin() + 8, page.begin() + 28));
}

TEST(TiffPageRelocation, AnotherNumberRewritesPageNumberAndPutsTheNameAfterThePage) {
    const std::vector<uint8_t> page = TinyPage();
    RelocatedTiffPage moved;
    std::string error;
    ASSERT_TRUE(RelocateTiffPage(page, 1000, 12, moved, error)) << error;
    EXPECT_EQ(FieldOf(moved, 1000, 297), 12u | 12u << 16);
    uint32_t count = 0;
    const uint32_t nameAt = FieldOf(moved, 1000, 285, &count);
    EXPECT_EQ(count, 8u);
    const size_t pageEnd = page.size() - 8;  // even, so the name follows at once
    EXPECT_EQ(nameAt, 1000u + pageEnd);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(moved.block.data()) + pageEnd), "Page 12");
    EXPECT_EQ(moved.block.size(), pageEnd + 8);

    // The file made of a header and the block is what libtiff reads.
    TempDir dir;
    std::vector<uint8_t> file(1000, 0);
    file[0] = file[1] = 'I';
    Put16(file, 2, 42);
    Put32(file, 4, moved.directoryOffset);
    file.insert(file.end(), moved.block.begin(), moved.block.end());
    WriteFile(dir / "moved.tif", std::string(file.begin(), file.end()));
    TIFF* tif = TIFFOpen((dir / "moved.tif").c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint16_t number = 0, total = 0;
    char* name = nullptr;
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_PAGENUMBER, &number, &total));
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_PAGENAME, &name));
    EXPECT_EQ(number, 12);
    EXPECT_STREQ(name, "Page 12");
    uint8_t row[2] = {};
    ASSERT_EQ(TIFFReadScanline(tif, row, 1, 0), 1);
    EXPECT_EQ(row[0], 0x80);
    EXPECT_EQ(row[1], 0xFF);
    TIFFClose(tif);
}

TEST(TiffPageRelocation, RefusesWhatItCannotMoveSafely) {
    RelocatedTiffPage moved;
    std::string error;
    // Past 4 GiB the offsets no longer fit 32 bits: the 170 bytes after the header fit when
    // they end at 0xFFFFFFFE, not one word further.
    EXPECT_TRUE(RelocateTiffPage(TinyPage(), 0xFFFFFF54u, 1, moved, error)) << error;
    EXPECT_EQ(moved.directoryOffset, 0xFFFFFF54u + 20);
    EXPECT_FALSE(RelocateTiffPage(TinyPage(), 0xFFFFFF56u, 1, moved, error));
    EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;
    // Not a TIFF, a truncated directory, a strip outside the page, a pointer to a sub-directory.
    EXPECT_FALSE(RelocateTiffPage(std::vector<uint8_t>(64, 'x'), 8, 1, moved, error));
    std::vector<uint8_t> truncated = TinyPage();
    truncated.resize(kDirectory + 20);
    EXPECT_FALSE(RelocateTiffPage(truncated, 8, 1, moved, error));
    EXPECT_FALSE(RelocateTiffPage(TinyPage(5000), 8, 1, moved, error));
    std::vector<uint8_t> withSubIfd = TinyPage();
    Put16(withSubIfd, kDirectory + 2 + 12 * 4, 330);
    EXPECT_FALSE(RelocateTiffPage(withSubIfd, 8, 1, moved, error));
    // An odd position would break word alignment.
    EXPECT_FALSE(RelocateTiffPage(TinyPage(), 9, 1, moved, error));
}

std::vector<uint8_t> EncodedPage(uint32_t width, int32_t pageNumber, uint32_t compression) {
    CxImageTIF image;
    MakeSampleImage(image, width, 5);
    image.SetCodecOption(compression, kFormatTiff);
    MemoryImageStream stream;
    EXPECT_TRUE(image.EncodePage(&stream, pageNumber)) << image.GetLastError();
    return stream.TakeBuffer();
}

TEST(TiffPageAppender, PagesFollowInOrderAndARefusedPageLeavesNoGap) {
    TempDir dir;
    const std::string path = dir / "pages.tif";
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    ASSERT_NE(file, nullptr);
    TiffPageAppender appender(file);
    // Odd widths give odd page sizes, so the word padding between pages is exercised.
    EXPECT_TRUE(appender.Append(EncodedPage(3, 1, kTiffNone)));
    EXPECT_TRUE(appender.Append(EncodedPage(5, 2, kTiffLzw)));
    EXPECT_FALSE(appender.Append(std::vector<uint8_t>(40, 'x')));
    // Encoded as page 4; it goes in third and must say so.
    EXPECT_TRUE(appender.Append(EncodedPage(6, 4, kTiffPackBits)));
    EXPECT_EQ(appender.PagesWritten(), 3u);
    EXPECT_FALSE(appender.Broken());
    ASSERT_EQ(std::fclose(file), 0);

    const std::vector<PageFacts> pages = ReadPages(path);
    ASSERT_EQ(pages.size(), 3u);
    const uint32_t widths[] = {3, 5, 6};
    const uint16_t compressions[] = {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_PACKBITS};
    for (uint16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(pages[i].width, widths[i]);
        EXPECT_EQ(pages[i].compression, compressions[i]);
        EXPECT_EQ(pages[i].page, i + 1);
        EXPECT_EQ(pages[i].pageName, "Page " + std::to_string(i + 1));
        EXPECT_EQ(pages[i].topLeft, SampleColour(0, 0));
        EXPECT_EQ(pages[i].bottomRight, SampleColour(widths[i] - 1, 4));
    }
    // tiffinfo walks the file too, reading every strip, without complaint.
    if (UseTool("tiffinfo")) {
        const ShellResult info = RunShell("tiffinfo -D " + ShellQuote(path) + " 2>&1 >/dev/null");
        EXPECT_EQ(info.exitCode, 0);
        EXPECT_EQ(info.out, "");
    }
}

}  // namespace
