#pragma once
// The BMP file layout shared by the engine's page writer and the image layer's reader and
// writer: a 14-byte file header, a 40-byte information header, the palette, then the rows,
// bottom row first. All numbers are little-endian.

#include <cstdint>

namespace bmp {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
// Older header forms the reader also takes: the OS/2 core header and its longer variant.
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kOs2HeaderSize = 64;

// The file header: "BM", the file size, two reserved words, the offset of the pixels.
constexpr uint16_t kMagic = 0x4D42;  // "BM" read as a little-endian number
constexpr uint32_t kFileSizeAt = 2;
constexpr uint32_t kPixelOffsetAt = 10;

// Fields of the information header, by offset from its start.
constexpr uint32_t kWidthAt = 4;
constexpr uint32_t kHeightAt = 8;  // negative: rows stored top first
constexpr uint32_t kPlanesAt = 12;
constexpr uint32_t kBitCountAt = 14;
constexpr uint32_t kCompressionAt = 16;
constexpr uint32_t kImageSizeAt = 20;
constexpr uint32_t kXPelsPerMeterAt = 24;
constexpr uint32_t kYPelsPerMeterAt = 28;
constexpr uint32_t kColoursUsedAt = 32;
constexpr uint32_t kColoursImportantAt = 36;

// Compression values.
constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;

}  // namespace bmp
