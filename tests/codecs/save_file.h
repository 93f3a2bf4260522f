#pragma once
// Image files for the tests, written without the converter's atomic output.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "image/ximage.h"

// Writes image to path in the format of the code; nothing is written when the writer refuses.
inline bool SaveFile(CxImage& image, const std::string& path, int32_t formatCode) {
    MemoryImageStream stream;
    if (!Encode(image, &stream, formatCode)) return false;
    const std::vector<uint8_t> bytes = stream.TakeBuffer();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
