#pragma once
// Baseline JPEG encoding of 8-bit RGB rows, for photographic regions drawn into images.

#include <cstddef>
#include <cstdint>

namespace engine {

// Encodes width x height pixels; row y starts at rows + y * stride and each pixel takes step
// bytes, its first three being red, green and blue. On success *data holds *size bytes taken
// from malloc, which the caller frees with std::free. False on failure. Plain C memory and no
// exceptions: this runs inside the rendering library's try blocks.
bool EncodeRgbJpeg(const uint8_t* rows, int width, int height, std::ptrdiff_t stride, int step,
                   int quality, unsigned char** data, size_t* size) noexcept;

}  // namespace engine
