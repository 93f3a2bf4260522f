// Greyscale conversion and colour-depth reduction.

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/ximage.h"
#include "image/packed_pixels.h"

namespace {

inline uint8_t GreyOf(uint32_t red, uint32_t green, uint32_t blue) {
    return static_cast<uint8_t>((306 * red + 601 * green + 117 * blue) >> 10);
}

constexpr uint32_t kMemoBits = 16;
constexpr uint32_t kMemoSize = 1u << kMemoBits;
constexpr uint32_t kMemoUsed = 1u << 24;  // set beside the 24 colour bits of a filled slot

inline int32_t Clamp255(int32_t value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

// The nearest-entry search over a fixed palette, laid out so that all distances are computed
// in one pass. Gives the same entry as the image's own search: the first one at the smallest
// distance (every distance is below the search's starting bound of 200000).
class NearestEntrySearch {
public:
    NearestEntrySearch(const RgbQuad* palette, uint32_t count) : count_(count) {
        for (uint32_t i = 0; i < count_; ++i) {
            red_[i] = palette[i].rgbRed;
            green_[i] = palette[i].rgbGreen;
            blue_[i] = palette[i].rgbBlue;
        }
    }
    uint8_t Find(RgbQuad color) {
        const int32_t r = color.rgbRed, g = color.rgbGreen, b = color.rgbBlue;
        for (uint32_t i = 0; i < count_; ++i) {
            const int32_t dr = red_[i] - r, dg = green_[i] - g, db = blue_[i] - b;
            distance_[i] = dr * dr + dg * dg + db * db;
        }
        int32_t best = 200000;
        for (uint32_t i = 0; i < count_; ++i) best = std::min(best, distance_[i]);
        for (uint32_t i = 0; i < count_; ++i) {
            if (distance_[i] == best) return static_cast<uint8_t>(i);
        }
        return 0;
    }

private:
    uint32_t count_;
    int32_t red_[256] = {};
    int32_t green_[256] = {};
    int32_t blue_[256] = {};
    int32_t distance_[256] = {};
};

}  // namespace

bool CxImage::ConvertToGrey() {
    if (dib_ == nullptr) return false;
    const uint32_t width = GetWidth();
    const uint32_t height = GetHeight();
    const uint32_t bits = GetBpp();

    if (bits > 8) {
        CxImage grey;
        grey.SetMaxMemory(GetMaxMemory());
        if (grey.Create(width, height, 8, GetType()) == nullptr) {
            SetLastError(grey.GetLastError());
            return false;
        }
        grey.SetGrayPalette();
        grey.CopyInfo(*this);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* source = GetBits(y);
            uint8_t* target = grey.GetBits(y);
            for (uint32_t x = 0; x < width; ++x, source += 3) {
                target[x] = GreyOf(source[2], source[1], source[0]);
            }
        }
        return Transfer(grey);
    }

    uint8_t greyOfIndex[256] = {};
    const RgbQuad* palette = GetPalette();
    for (uint32_t i = 0; i < head_.biClrUsed && i < 256; ++i) {
        greyOfIndex[i] = GreyOf(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
    }
    CxImage expanded;
    expanded.SetMaxMemory(GetMaxMemory());
    if (bits < 8 && expanded.Create(width, height, 8, GetType()) == nullptr) {
        SetLastError(expanded.GetLastError());
        return false;
    }

    RgbQuad* entries = GetPalette();
    for (uint32_t i = 0; i < head_.biClrUsed && i < 256; ++i) entries[i].rgbBlue = greyOfIndex[i];
    info_.lastColorValid = false;
    if (info_.backgroundIndex >= 0 && info_.backgroundIndex < 256) {
        info_.backgroundIndex = greyOfIndex[info_.backgroundIndex];
    }
    if (bits == 8) {
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = GetBits(y);
            for (uint32_t x = 0; x < width; ++x) row[x] = greyOfIndex[row[x]];
        }
        SetGrayPalette();
        return true;
    }
    expanded.SetGrayPalette();
    expanded.CopyInfo(*this);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* source = GetBits(y);
        uint8_t* target = expanded.GetBits(y);
        for (uint32_t x = 0; x < width; ++x) target[x] = greyOfIndex[IndexAt(source, x, bits)];
    }
    return Transfer(expanded);
}

bool CxImage::DecreaseBpp(uint32_t bits, bool errorDiffusion, const RgbQuad* palette,
                          uint32_t colors) {
    if (dib_ == nullptr) return false;
    const uint32_t sourceBits = GetBpp();
    if (bits > sourceBits) {
        SetLastError("DecreaseBpp: target BPP greater than source BPP");
        return false;
    }
    if (bits == sourceBits) {
        if (colors == 0) return true;
        if (head_.biClrImportant != 0 && head_.biClrImportant < colors) return true;
    }

    const uint32_t width = GetWidth();
    const uint32_t height = GetHeight();
    CxImage target;
    target.SetMaxMemory(GetMaxMemory());
    if (target.Create(width, height, bits, GetType()) == nullptr) {
        SetLastError(target.GetLastError());
        return false;
    }
    const uint32_t targetBits = target.GetBpp();
    if (colors != 0) {
        uint32_t important = 0;
        if (colors <= 256) {
            important = targetBits == 1 ? std::min(colors, 2u)
                        : targetBits == 4 ? std::min(colors, 16u)
                                          : colors;
        }
        target.SetClrImportant(important);
    }
    target.CopyInfo(*this);
    if (palette == nullptr) {
        target.SetStdPalette();
    } else if (colors != 0) {
        target.SetPalette(palette, colors);
    } else {
        target.SetPalette(palette, 1u << targetBits);
    }

    // Source colours by index, for palettised sources.
    RgbQuad sourceColors[256] = {};
    for (uint32_t i = 0; i < head_.biClrUsed && i < 256; ++i) sourceColors[i] = GetPalette()[i];
    auto sourceColor = [&](const uint8_t* row, uint32_t x) {
        if (sourceBits == 24) return RgbQuad{row[3 * x], row[3 * x + 1], row[3 * x + 2], 0};
        return sourceColors[IndexAt(row, x, sourceBits)];
    };

    if (!errorDiffusion) {
        // A run of one colour (the white of a page) costs one look-up; other colours go through
        // a memo of recent colours, then one pass over the palette.
        uint32_t searched = target.GetClrImportant() != 0 ? target.GetClrImportant()
                                                          : target.GetNumColors();
        searched = std::min(searched, target.GetNumColors());
        NearestEntrySearch search(target.GetPalette(), searched);
        std::vector<uint32_t> memoKeys(kMemoSize, 0);
        std::vector<uint8_t> memoIndices(kMemoSize, 0);
        for (uint32_t y = 0; y < height && info_.escape == 0; ++y) {
            info_.progress = static_cast<int32_t>(static_cast<uint64_t>(y) * 100 / height);
            const uint8_t* source = GetBits(y);
            uint8_t* row = target.GetBits(y);
            RgbQuad last{0, 0, 0, 0};
            uint8_t lastIndex = 0;
            bool haveLast = false;
            for (uint32_t x = 0; x < width; ++x) {
                const RgbQuad color = sourceColor(source, x);
                if (!haveLast || color.rgbRed != last.rgbRed || color.rgbGreen != last.rgbGreen ||
                    color.rgbBlue != last.rgbBlue) {
                    const uint32_t key = kMemoUsed | (static_cast<uint32_t>(color.rgbRed) << 16) |
                                         (color.rgbGreen << 8) | color.rgbBlue;
                    const uint32_t slot = (key * 2654435761u) >> (32 - kMemoBits);
                    if (memoKeys[slot] == key) {
                        lastIndex = memoIndices[slot];
                    } else {
                        lastIndex = search.Find(color);
                        memoKeys[slot] = key;
                        memoIndices[slot] = lastIndex;
                    }
                    last = color;
                    haveLast = true;
                }
                PutIndex(row, x, targetBits, lastIndex);
            }
        }
        return Transfer(target);
    }

    // Error diffusion: the error of each pixel goes 7/16 to the right, and 2/16, 4/16, 1/16 to
    // the lower-left, lower and lower-right pixels of the next row processed.
    const RgbQuad* targetPalette = target.GetPalette();
    std::vector<int32_t> current(static_cast<size_t>(width + 2) * 3);
    std::vector<int32_t> next(current.size());
    auto load = [&](std::vector<int32_t>& buffer, uint32_t y) {
        const uint8_t* source = GetBits(y);
        for (uint32_t x = 0; x < width; ++x) {
            const RgbQuad c = sourceColor(source, x);
            buffer[(x + 1) * 3 + 0] = c.rgbRed;
            buffer[(x + 1) * 3 + 1] = c.rgbGreen;
            buffer[(x + 1) * 3 + 2] = c.rgbBlue;
        }
    };
    load(current, 0);
    for (uint32_t y = 0; y < height && info_.escape == 0; ++y) {
        info_.progress = static_cast<int32_t>(static_cast<uint64_t>(y) * 100 / height);
        const bool hasNext = y + 1 < height;
        if (hasNext) load(next, y + 1);
        uint8_t* row = target.GetBits(y);
        for (uint32_t x = 0; x < width; ++x) {
            int32_t* c = &current[(x + 1) * 3];
            const RgbQuad color{static_cast<uint8_t>(c[2]), static_cast<uint8_t>(c[1]),
                                static_cast<uint8_t>(c[0]), 0};
            const uint8_t index = target.GetNearestIndex(color);
            PutIndex(row, x, targetBits, index);
            const RgbQuad chosen = targetPalette[index];
            const int32_t error[3] = {c[0] - chosen.rgbRed, c[1] - chosen.rgbGreen,
                                      c[2] - chosen.rgbBlue};
            for (int k = 0; k < 3; ++k) {
                if (x + 1 < width) c[3 + k] = Clamp255(c[3 + k] + error[k] * 7 / 16);
                if (!hasNext) continue;
                int32_t* below = &next[(x + 1) * 3];
                if (x > 0) below[k - 3] = Clamp255(below[k - 3] + error[k] * 2 / 16);
                below[k] = Clamp255(below[k] + error[k] * 4 / 16);
                if (x + 1 < width) below[k + 3] = Clamp255(below[k + 3] + error[k] * 1 / 16);
            }
        }
        current.swap(next);
    }
    return Transfer(target);
}
