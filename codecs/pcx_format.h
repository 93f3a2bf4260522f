#pragma once
// Field values of the PCX (version 5, run-length encoded) file header.

#include <cstddef>
#include <cstdint>

namespace pcx {

constexpr size_t kHeaderSize = 128;
constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kVersion = 5;
constexpr uint8_t kRunLengthEncoding = 1;
constexpr size_t kHeaderColorMapOffset = 16;
constexpr size_t kHeaderColorMapEntries = 16;
constexpr size_t kPlanesOffset = 65;
constexpr uint16_t kPaletteInfoColor = 1;  // no palette: true colour planes
constexpr uint16_t kPaletteInfoPalette = 0;

// A byte with both top bits set starts a run; its low six bits are the count.
constexpr uint8_t kRunFlag = 0xC0;
constexpr int kMaxRun = 63;

// Marks the 256-entry palette after the pixel data of an 8-bit image.
constexpr uint8_t kTrailingPaletteMarker = 0x0C;

}  // namespace pcx
