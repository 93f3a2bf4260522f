// BMP decoder: Windows and OS/2 bitmaps, palette, RLE and bit-field variants. Every size and
// offset taken from the file is checked against the stream before it is used.

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "codecs/image_stream.h"
#include "codecs/ximage_bmp.h"
#include "protocol/bmp_layout.h"
#include "protocol/byte_order.h"

namespace {

constexpr const char* kNotBmp = "Not a BMP";
constexpr const char* kBadInfo = "Error reading BMP info";
constexpr const char* kDimensions = "output dimensions returned";
constexpr const char* kCancelled = "Cancelled";
constexpr const char* kUnsupported = "compression type not supported";
constexpr const char* kUnknownCompression = "unknown compression";
constexpr const char* kNoMemory = "can't allocate memory";

using namespace bmp;

uint64_t Stride(uint64_t width, uint32_t bits) { return ((width * bits + 31) / 32) * 4; }

bool ReadExactly(ImageStream& stream, void* buffer, size_t bytes) {
    return bytes == 0 || stream.Read(buffer, 1, bytes) == bytes;
}

// One colour channel described by a bit mask, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (mask == 0) return;
        while (((mask >> shift) & 1) == 0) ++shift;
        while (shift + bits < 32 && ((mask >> (shift + bits)) & 1) != 0) ++bits;
    }
    uint8_t Extract(uint32_t pixel) const {
        if (bits == 0) return 0;
        uint32_t value = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
        // Repeat the bits downwards so that the largest value becomes 255.
        uint32_t result = 0;
        int filled = 0;
        while (filled < 8) {
            result = (result << bits) | value;
            filled += bits;
        }
        return static_cast<uint8_t>(result >> (filled - 8));
    }
};

// Expands RLE8 or RLE4 data into the image rows; stops at the end of the data or of the picture.
void ExpandRle(const std::vector<uint8_t>& data, bool fourBits, CxImage& image) {
    const uint32_t width = image.GetWidth();
    const uint32_t height = image.GetHeight();
    uint32_t x = 0;
    uint32_t y = 0;
    size_t pos = 0;
    auto put = [&](uint8_t index) {
        if (x < width && y < height) {
            uint8_t* row = image.GetBits(y);
            if (fourBits) {
                uint8_t& cell = row[x >> 1];
                cell = (x & 1) ? static_cast<uint8_t>((cell & 0xF0) | (index & 0x0F))
                               : static_cast<uint8_t>((cell & 0x0F) | (index << 4));
            } else {
                row[x] = index;
            }
        }
        ++x;
    };
    while (pos + 1 < data.size() && y < height) {
        const uint8_t count = data[pos];
        const uint8_t value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            for (uint32_t i = 0; i < count && x < width; ++i) {
                put(fourBits ? static_cast<uint8_t>((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
            }
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                ++y;
                break;
            case 1:  // end of bitmap
                return;
            case 2:  // delta
                if (pos + 1 >= data.size()) return;
                x += data[pos];
                y += data[pos + 1];
                pos += 2;
                break;
            default: {  // absolute run, padded to an even number of bytes
                const size_t bytes = fourBits ? (value + 1u) / 2 : value;
                const size_t available = data.size() - pos;
                const size_t usable = bytes < available ? bytes : available;
                for (uint32_t i = 0; i < value; ++i) {
                    const size_t at = fourBits ? i / 2 : i;
                    if (at >= usable) break;
                    const uint8_t byte = data[pos + at];
                    put(fourBits ? static_cast<uint8_t>((i & 1) ? (byte & 0x0F) : (byte >> 4)) : byte);
                }
                pos += bytes + (bytes & 1);
                break;
            }
        }
    }
}

void FlipRows(CxImage& image) {
    const uint32_t height = image.GetHeight();
    const uint32_t stride = image.GetEffWidth();
    std::vector<uint8_t> swap(stride);
    for (uint32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        std::memcpy(swap.data(), image.GetBits(top), stride);
        std::memcpy(image.GetBits(top), image.GetBits(bottom), stride);
        std::memcpy(image.GetBits(bottom), swap.data(), stride);
    }
    if (uint8_t* alpha = image.AlphaPointer()) {
        const uint32_t width = image.GetWidth();
        swap.resize(width);
        for (uint32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
            uint8_t* a = alpha + static_cast<size_t>(top) * width;
            uint8_t* b = alpha + static_cast<size_t>(bottom) * width;
            std::memcpy(swap.data(), a, width);
            std::memcpy(a, b, width);
            std::memcpy(b, swap.data(), width);
        }
    }
}

}  // namespace

bool CxImageBMP::ReadBlock(ImageStream& stream, size_t size, std::vector<uint8_t>& data) {
    try {
        data.resize(size);
    } catch (const std::bad_alloc&) {
        SetLastError(kNoMemory);
        return false;
    }
    if (!ReadExactly(stream, data.data(), data.size())) {
        SetLastError(kBadInfo);
        return false;
    }
    return true;
}

bool CxImageBMP::DecodeBmp(ImageStream& stream) {
    const int64_t start = stream.Tell();
    const int64_t streamSize = stream.Size();
    if (start < 0 || streamSize < start) {
        SetLastError(kNotBmp);
        return false;
    }
    auto bytesFrom = [&](int64_t position) -> uint64_t {
        return position >= 0 && position <= streamSize ? static_cast<uint64_t>(streamSize - position)
                                                       : 0;
    };

    uint8_t fileHeader[kFileHeaderSize];
    if (!ReadExactly(stream, fileHeader, sizeof(fileHeader))) {
        SetLastError(kNotBmp);
        return false;
    }
    uint32_t pixelOffset = 0;
    if (GetLe16(fileHeader) == kMagic) {
        pixelOffset = GetLe32(fileHeader + kPixelOffsetAt);
    } else if (!stream.Seek(start, SEEK_SET)) {
        SetLastError(kNotBmp);
        return false;
    }

    // The header's size field tells how much of the header follows.
    const int64_t headerStart = stream.Tell();
    uint8_t raw[kInfoHeaderSize] = {};
    if (!ReadExactly(stream, raw, 4)) {
        SetLastError(kBadInfo);
        return false;
    }
    const uint32_t headerSize = GetLe32(raw);
    const bool core = headerSize == kCoreHeaderSize;
    if (!ReadExactly(stream, raw + 4, (core ? kCoreHeaderSize : kInfoHeaderSize) - 4)) {
        SetLastError(kBadInfo);
        return false;
    }
    BitmapInfoHeader header{};
    header.biSize = headerSize;
    if (core) {
        header.biWidth = GetLe16(raw + 4);
        header.biHeight = GetLe16(raw + 6);
        header.biPlanes = GetLe16(raw + 8);
        header.biBitCount = GetLe16(raw + 10);
    } else {
        header.biWidth = static_cast<int32_t>(GetLe32(raw + kWidthAt));
        header.biHeight = static_cast<int32_t>(GetLe32(raw + kHeightAt));
        header.biPlanes = GetLe16(raw + kPlanesAt);
        header.biBitCount = GetLe16(raw + kBitCountAt);
        header.biCompression = GetLe32(raw + kCompressionAt);
        header.biSizeImage = GetLe32(raw + kImageSizeAt);
        header.biXPelsPerMeter = static_cast<int32_t>(GetLe32(raw + kXPelsPerMeterAt));
        header.biYPelsPerMeter = static_cast<int32_t>(GetLe32(raw + kYPelsPerMeterAt));
        header.biClrUsed = GetLe32(raw + kColoursUsedAt);
        header.biClrImportant = GetLe32(raw + kColoursImportantAt);
    }

    const uint32_t bits = header.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        SetLastError(kBadInfo);
        return false;
    }
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) {
        SetLastError(kBadInfo);
        return false;
    }
    const bool topDown = header.biHeight < 0;
    const uint32_t width = static_cast<uint32_t>(header.biWidth);
    const uint32_t height = static_cast<uint32_t>(topDown ? -header.biHeight : header.biHeight);
    const uint64_t fileStride = Stride(width, bits);
    const uint64_t pixelBytes = fileStride * height;

    if (!core && headerSize != kInfoHeaderSize && headerSize != kOs2HeaderSize) {
        if (headerSize <= kInfoHeaderSize || header.biSizeImage < pixelBytes ||
            header.biPlanes != 1 || header.biClrUsed != 0) {
            SetLastError(kBadInfo);
            return false;
        }
    }
    if (header.biSizeImage == 0) header.biSizeImage = static_cast<uint32_t>(pixelBytes);
    if (header.biClrUsed == 0) header.biClrUsed = bits <= 8 ? 1u << bits : 0;

    if (info_.escape == -1) {
        head_.biWidth = static_cast<int32_t>(width);
        head_.biHeight = static_cast<int32_t>(height);
        head_.biBitCount = static_cast<uint16_t>(bits);
        info_.numFrames = 1;
        SetLastError(kDimensions);
        return false;
    }

    // Where the parts lie: bit-field masks just after the 40 header bytes (inside the larger
    // headers), the palette after the whole header, the pixels at the file's offset.
    const int64_t masksAt = headerStart + kInfoHeaderSize;
    const uint32_t entrySize = core ? 3 : 4;
    int64_t paletteAt = headerStart + headerSize;
    if (headerSize == kInfoHeaderSize && header.biCompression == kBitFields) paletteAt += 12;
    const uint32_t paletteEntries = bits <= 8 ? header.biClrUsed : 0;
    int64_t pixelsAt = paletteAt + static_cast<int64_t>(paletteEntries) * entrySize;
    if (pixelOffset != 0) pixelsAt = start + pixelOffset;

    const bool rle = bits <= 8 && (header.biCompression == kRle8 || header.biCompression == kRle4);
    if (bits <= 8 && header.biCompression != kRgb && !rle) {
        SetLastError(kUnsupported);
        return false;
    }
    if (bits <= 8 && ((header.biCompression == kRle8 && bits != 8) ||
                      (header.biCompression == kRle4 && bits != 4))) {
        SetLastError(kUnsupported);
        return false;
    }
    if (bits == 24 && header.biCompression != kRgb) {
        SetLastError(kUnknownCompression);
        return false;
    }
    if ((bits == 16 || bits == 32) && header.biCompression != kRgb &&
        header.biCompression != kBitFields) {
        SetLastError(kUnknownCompression);
        return false;
    }
    // A truncated file fails before anything large is allocated.
    if (pixelsAt < start || pixelsAt > streamSize || (!rle && bytesFrom(pixelsAt) < pixelBytes)) {
        SetLastError(kBadInfo);
        return false;
    }

    if (Create(width, height, bits > 8 ? 24 : bits, kFormatBmp) == nullptr) return false;
    SetXDPI(static_cast<int32_t>(header.biXPelsPerMeter * 0.0254 + 0.5));
    SetYDPI(static_cast<int32_t>(header.biYPelsPerMeter * 0.0254 + 0.5));
    if (info_.escape != 0) {
        SetLastError(kCancelled);
        return false;
    }

    if (paletteEntries != 0) {
        // Entries beyond what the image holds are not read (a hostile count could be huge).
        const uint32_t count = paletteEntries < head_.biClrUsed ? paletteEntries : head_.biClrUsed;
        std::vector<uint8_t> entries(static_cast<size_t>(count) * entrySize);
        if (bytesFrom(paletteAt) < entries.size() || !stream.Seek(paletteAt, SEEK_SET) ||
            !ReadExactly(stream, entries.data(), entries.size())) {
            SetLastError(kBadInfo);
            return false;
        }
        RgbQuad* palette = GetPalette();
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* entry = entries.data() + static_cast<size_t>(i) * entrySize;
            palette[i] = RgbQuad{entry[0], entry[1], entry[2], 0};
        }
        info_.lastColorValid = false;
    }

    uint32_t masks[3] = {0, 0, 0};
    if (header.biCompression == kBitFields) {
        uint8_t maskBytes[12];
        if (!stream.Seek(masksAt, SEEK_SET) || !ReadExactly(stream, maskBytes, sizeof(maskBytes))) {
            SetLastError(kBadInfo);
            return false;
        }
        for (int i = 0; i < 3; ++i) masks[i] = GetLe32(maskBytes + 4 * i);
    } else if (bits == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else if (bits == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }

    if (!stream.Seek(pixelsAt, SEEK_SET)) {
        SetLastError(kBadInfo);
        return false;
    }
    if (bits <= 8 || bits == 24) {
        if (rle) {
            std::vector<uint8_t> data;
            if (!ReadBlock(stream, static_cast<size_t>(bytesFrom(pixelsAt)), data)) return false;
            Clear(0);
            ExpandRle(data, header.biCompression == kRle4, *this);
        } else if (!ReadExactly(stream, info_.pImage, static_cast<size_t>(pixelBytes))) {
            SetLastError(kBadInfo);
            return false;
        }
    } else {
        std::vector<uint8_t> data;
        if (!ReadBlock(stream, static_cast<size_t>(pixelBytes), data)) return false;
        const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
        const bool keepAlpha = bits == 32 && header.biCompression == kRgb;
        bool anyAlpha = false;
        if (keepAlpha && !AlphaCreate()) {
            SetLastError(kNoMemory);
            return false;
        }
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* source = data.data() + static_cast<size_t>(y) * fileStride;
            uint8_t* target = GetBits(y);
            uint8_t* alphaRow = keepAlpha ? alpha_ + static_cast<size_t>(y) * width : nullptr;
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t pixel = bits == 16 ? GetLe16(source + 2 * x) : GetLe32(source + 4 * x);
                target[3 * x + 0] = blue.Extract(pixel);
                target[3 * x + 1] = green.Extract(pixel);
                target[3 * x + 2] = red.Extract(pixel);
                if (alphaRow != nullptr) {
                    alphaRow[x] = source[4 * x + 3];
                    anyAlpha = anyAlpha || alphaRow[x] != 0;
                }
            }
        }
        if (keepAlpha && !anyAlpha) AlphaDelete();
    }

    if (topDown) FlipRows(*this);
    return true;
}

bool DecodeBmpInto(CxImage& image, ImageStream& stream) {
    CxImageBMP decoder;
    decoder.CopyInfo(image);
    decoder.SetType(kFormatBmp);
    const bool decoded = decoder.DecodeBmp(stream);
    if (!decoded) {
        image.SetLastError(decoder.GetLastError());
        if (image.GetEscape() == -1 && decoder.GetNumFrames() == 1) {
            // Only the dimensions were asked for.
            image.Transfer(decoder, false);
            return true;
        }
        return false;
    }
    return image.Transfer(decoder, true);
}
