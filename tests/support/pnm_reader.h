#pragma once
// Runs an outside decoder on a file and reads back what it wrote as a Netpbm image, so that
// tests can compare pixels with an independent reader.

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

struct RgbPixel {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const RgbPixel&) const = default;
};

// Pixels top row first, left to right.
struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<RgbPixel> pixels;
    const RgbPixel& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Reads P1 to P6 files with a maximum value of at most 255. False when the file is not one.
inline bool ReadPnm(const std::string& path, DecodedImage& image) {
    const std::vector<uint8_t> data = ReadFileBytes(path);
    size_t pos = 0;
    auto skipSpace = [&] {
        while (pos < data.size()) {
            if (data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
            } else if (std::isspace(data[pos])) {
                ++pos;
            } else {
                break;
            }
        }
    };
    auto number = [&]() -> int {
        skipSpace();
        int value = 0;
        bool any = false;
        while (pos < data.size() && std::isdigit(data[pos])) {
            value = value * 10 + (data[pos++] - '0');
            any = true;
        }
        return any ? value : -1;
    };
    if (data.size() < 2 || data[0] != 'P') return false;
    const char kind = static_cast<char>(data[1]);
    pos = 2;
    image.width = number();
    image.height = number();
    if (image.width <= 0 || image.height <= 0) return false;
    const bool bitmap = kind == '1' || kind == '4';
    const int maxValue = bitmap ? 1 : number();
    if (maxValue <= 0 || maxValue > 255) return false;
    const size_t count = static_cast<size_t>(image.width) * image.height;
    image.pixels.assign(count, RgbPixel{});
    auto scale = [&](int v) { return static_cast<uint8_t>(v * 255 / maxValue); };
    if (kind == '4' || kind == '5' || kind == '6') ++pos;  // the single whitespace byte
    const size_t bitmapStride = (static_cast<size_t>(image.width) + 7) / 8;
    for (size_t i = 0; i < count; ++i) {
        const size_t x = i % image.width;
        const size_t y = i / image.width;
        RgbPixel& p = image.pixels[i];
        switch (kind) {
            case '1': {
                skipSpace();
                if (pos >= data.size()) return false;
                const uint8_t v = data[pos++] == '1' ? 0 : 255;
                p = {v, v, v};
                break;
            }
            case '2':
            case '3': {
                const int r = number();
                const int g = kind == '3' ? number() : r;
                const int b = kind == '3' ? number() : r;
                if (b < 0) return false;
                p = {scale(r), scale(g), scale(b)};
                break;
            }
            case '4': {
                const size_t at = pos + y * bitmapStride + x / 8;
                if (at >= data.size()) return false;
                const uint8_t v = ((data[at] >> (7 - x % 8)) & 1) ? 0 : 255;
                p = {v, v, v};
                break;
            }
            case '5': {
                if (pos + i >= data.size()) return false;
                const uint8_t v = scale(data[pos + i]);
                p = {v, v, v};
                break;
            }
            case '6': {
                if (pos + i * 3 + 2 >= data.size()) return false;
                p = {scale(data[pos + i * 3]), scale(data[pos + i * 3 + 1]),
                     scale(data[pos + i * 3 + 2])};
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

// Runs "command" (which must write output) and reads output as a Netpbm file.
inline bool DecodeWith(const std::string& command, const std::string& output, DecodedImage& image) {
    std::remove(output.c_str());
    if (RunShell(command).exitCode != 0) return false;
    return ReadPnm(output, image);
}

// True when the reader can be used; a missing one is a failure under CI (see UseTool).
inline bool ToolAvailable(const std::string& tool) { return UseTool(tool); }
