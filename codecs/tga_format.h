#pragma once
// Field values of the uncompressed TGA header.

#include <cstddef>
#include <cstdint>

namespace tga {

constexpr size_t kHeaderSize = 18;
constexpr uint8_t kColorMapped = 1;  // image type: uncompressed colour-mapped
constexpr uint8_t kTrueColor = 2;    // image type: uncompressed true colour
constexpr uint16_t kColorMapLength = 256;
constexpr uint8_t kColorMapEntryBits = 24;
// Origin at the bottom left, no alpha bits declared.
constexpr uint8_t kDescriptor = 0;

}  // namespace tga
