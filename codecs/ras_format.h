#pragma once
// Sun raster file layout: a header of eight big-endian 32-bit words, then the colour map, then
// the pixel rows, top row first, each padded to an even number of bytes.

#include <cstdint>

namespace ras {

constexpr uint32_t kMagic = 0x59a66a95u;
constexpr uint32_t kTypeStandard = 1;  // uncompressed; 24-bit pixels stored blue, green, red
constexpr uint32_t kMapNone = 0;
constexpr uint32_t kHeaderWords = 8;

// Bytes of one stored row: the pixel bytes rounded up to a 16-bit boundary.
constexpr uint32_t RowBytes(uint32_t width, uint32_t depth) {
    const uint32_t bytes = (width * depth + 7) / 8;
    return bytes + (bytes & 1u);
}

}  // namespace ras
