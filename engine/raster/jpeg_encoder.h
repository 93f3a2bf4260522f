#pragma once
// Baseline JPEG encoding of 8-bit RGB rows, for photographic regions drawn into images.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

// Encodes width x height pixels; row y starts at rows + y * stride and each pixel takes step
// bytes, its first three being red, green and blue. False on failure.
bool EncodeRgbJpeg(const uint8_t* rows, int width, int height, std::ptrdiff_t stride, int step,
                   int quality, std::vector<uint8_t>& out);

}  // namespace engine
