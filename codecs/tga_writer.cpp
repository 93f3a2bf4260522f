// TGA writer: uncompressed colour-mapped (8 bits) or true-colour (24 bits, or 32 with an
// alpha plane) rows, bottom row first, without row padding.

#include <algorithm>
#include <array>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "codecs/tga_format.h"
#include "image/ximage.h"

namespace {

void PutWord(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

std::array<uint8_t, tga::kHeaderSize> BuildHeader(const CxImage& image) {
    std::array<uint8_t, tga::kHeaderSize> header{};
    const bool mapped = image.GetBpp() == 8;
    header[1] = image.GetPalette() != nullptr && image.GetNumColors() > 0 ? 1 : 0;
    header[2] = mapped ? tga::kColorMapped : tga::kTrueColor;
    PutWord(&header[5], mapped ? tga::kColorMapLength : 0);
    header[7] = mapped ? tga::kColorMapEntryBits : 0;
    PutWord(&header[12], image.GetWidth());
    PutWord(&header[14], image.GetHeight());
    header[16] = static_cast<uint8_t>(mapped ? 8 : (image.HasAlpha() ? 32 : 24));
    header[17] = tga::kDescriptor;
    return header;
}

void WriteColorMap(const CxImage& image, ImageStream& stream) {
    std::array<uint8_t, 3 * tga::kColorMapLength> map{};
    const RgbQuad* palette = image.GetPalette();
    const uint32_t entries = palette ? std::min<uint32_t>(image.GetNumColors(), 256) : 0;
    for (uint32_t i = 0; i < entries; ++i) {
        map[i * 3] = palette[i].rgbBlue;
        map[i * 3 + 1] = palette[i].rgbGreen;
        map[i * 3 + 2] = palette[i].rgbRed;
    }
    stream.Write(map.data(), 1, map.size());
}

bool WriteTga(CxImage& image, ImageStream& stream) {
    if (image.GetBpp() < 8) {
        image.SetLastError("Bit depth must be 8 or 24");
        return false;
    }
    const auto header = BuildHeader(image);
    stream.Write(header.data(), 1, header.size());
    if (image.GetBpp() == 8) WriteColorMap(image, stream);

    const uint32_t width = image.GetWidth();
    const uint32_t height = image.GetHeight();
    if (image.GetBpp() == 24 && image.HasAlpha()) {
        const uint8_t* alpha = image.AlphaPointer();
        std::vector<uint8_t> line(static_cast<size_t>(width) * 4);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* bits = image.GetBits(y);
            for (uint32_t x = 0; x < width; ++x) {
                line[x * 4] = bits[x * 3];
                line[x * 4 + 1] = bits[x * 3 + 1];
                line[x * 4 + 2] = bits[x * 3 + 2];
                line[x * 4 + 3] = alpha[static_cast<size_t>(y) * width + x];
            }
            stream.Write(line.data(), 1, line.size());
        }
    } else {
        const size_t lineBytes = static_cast<size_t>(width) * (image.GetBpp() / 8);
        for (uint32_t y = 0; y < height; ++y) stream.Write(image.GetBits(y), 1, lineBytes);
    }
    // A short file must not pass for a written one.
    stream.Flush();
    if (stream.Error() != 0) {
        image.SetLastError("Write Error in TGA file");
        return false;
    }
    return true;
}

}  // namespace

bool EncodeTga(CxImage& image, ImageStream* stream) {
    if (!CheckWriterPreconditions(image, stream)) return false;
    return WriteTga(image, *stream);
}
