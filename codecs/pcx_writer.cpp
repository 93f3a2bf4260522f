// PCX writer: a 128-byte header, then every scan line run-length encoded plane by plane,
// top row first; 8-bit images end with a 256-entry palette.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "codecs/pcx_format.h"
#include "image/ximage.h"

namespace {

// End-of-line values fed to the pixel packer; they never equal a pixel value, so the pending
// run is always flushed. The odd-width one also writes the byte that makes the line even.
constexpr int kEndOfEvenLine = -1;
constexpr int kEndOfOddLine = -2;

void PutWord(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

// Run-length packer fed one value at a time.
class PixelPacker {
  public:
    explicit PixelPacker(ImageStream& out) : out_(out) {}

    void Put(int value) {
        if (value != last_ && count_ > 0) {
            if (count_ == 1 && last_ < pcx::kRunFlag) {
                out_.PutByte(static_cast<uint8_t>(last_));
            } else {
                out_.PutByte(static_cast<uint8_t>(pcx::kRunFlag + count_));
                out_.PutByte(static_cast<uint8_t>(last_));
            }
            count_ = 0;
        }
        if (count_ == pcx::kMaxRun) {
            out_.PutByte(static_cast<uint8_t>(pcx::kRunFlag + pcx::kMaxRun));
            out_.PutByte(static_cast<uint8_t>(last_));
            count_ = 0;
        }
        if (value == kEndOfOddLine) out_.PutByte(0);
        last_ = value & 0xFF;
        ++count_;
    }

  private:
    ImageStream& out_;
    int last_ = 0;
    int count_ = 0;
};

void PutRun(ImageStream& out, int run, uint8_t value) {
    if (run > 1 || value >= pcx::kRunFlag) out.PutByte(static_cast<uint8_t>(pcx::kRunFlag + run));
    out.PutByte(value);
}

// Run-length packer over a whole plane line; lines are never empty.
void PackPlane(ImageStream& out, const uint8_t* bytes, size_t count) {
    uint8_t last = bytes[0];
    int run = 1;
    for (size_t i = 1; i < count; ++i) {
        if (bytes[i] == last && run < pcx::kMaxRun) {
            ++run;
        } else {
            PutRun(out, run, last);
            last = bytes[i];
            run = 1;
        }
    }
    PutRun(out, run, last);
}

struct PlaneLayout {
    uint8_t bitsPerPlane;
    uint8_t planes;
    uint32_t bytesPerLine;
};

PlaneLayout LayoutOf(const CxImage& image) {
    const uint32_t width = image.GetWidth();
    PlaneLayout layout{};
    switch (image.GetBpp()) {
        case 1:
            layout = {1, 1, (width + 7) / 8};
            break;
        case 4:
            layout = {1, 4, (width + 7) / 8};
            break;
        case 8:
            layout = {8, 1, width};
            break;
        default:
            layout = {8, static_cast<uint8_t>(image.HasAlpha() ? 4 : 3), width};
            break;
    }
    layout.bytesPerLine = (layout.bytesPerLine + 1) & 0xFFFEu;
    return layout;
}

std::array<uint8_t, pcx::kHeaderSize> BuildHeader(const CxImage& image, const PlaneLayout& layout) {
    std::array<uint8_t, pcx::kHeaderSize> header{};
    header[0] = pcx::kManufacturer;
    header[1] = pcx::kVersion;
    header[2] = pcx::kRunLengthEncoding;
    header[3] = layout.bitsPerPlane;
    PutWord(&header[8], image.GetWidth() - 1);
    PutWord(&header[10], image.GetHeight() - 1);
    PutWord(&header[12], static_cast<uint32_t>(image.GetXDPI()));
    PutWord(&header[14], static_cast<uint32_t>(image.GetYDPI()));
    uint8_t* colorMap = &header[pcx::kHeaderColorMapOffset];
    if (image.GetBpp() == 1) {
        colorMap[3] = colorMap[4] = colorMap[5] = 255;
    } else if (image.GetBpp() == 4) {
        const RgbQuad* palette = image.GetPalette();
        const uint32_t entries = palette ? image.GetNumColors() : 0;
        for (uint32_t i = 0; i < entries && i < pcx::kHeaderColorMapEntries; ++i) {
            colorMap[i * 3] = palette[i].rgbRed;
            colorMap[i * 3 + 1] = palette[i].rgbGreen;
            colorMap[i * 3 + 2] = palette[i].rgbBlue;
        }
    }
    header[pcx::kPlanesOffset] = layout.planes;
    PutWord(&header[66], layout.bytesPerLine);
    PutWord(&header[68], image.GetBpp() > 8 ? pcx::kPaletteInfoColor : pcx::kPaletteInfoPalette);
    return header;
}

int EndOfLine(uint32_t width) { return (width & 1) ? kEndOfOddLine : kEndOfEvenLine; }

void EncodePalettedRows(const CxImage& image, ImageStream& out) {
    const uint32_t width = image.GetWidth();
    for (int32_t y = static_cast<int32_t>(image.GetHeight()) - 1; y >= 0; --y) {
        PixelPacker packer(out);
        for (uint32_t x = 0; x < width; ++x) {
            packer.Put(image.GetPixelIndex(static_cast<int32_t>(x), y));
        }
        packer.Put(EndOfLine(width));
    }
}

uint32_t Luminance(const RgbQuad& c) {
    return (601u * c.rgbGreen + 306u * c.rgbRed + 117u * c.rgbBlue) / 1024u;
}

void EncodeBitPlaneRows(const CxImage& image, const PlaneLayout& layout, ImageStream& out) {
    const uint32_t width = image.GetWidth();
    // The header's 1-bit colour map is black then white, so index 0 must be the darker colour.
    bool invert = false;
    if (image.GetBpp() == 1 && image.GetPalette() != nullptr && image.GetNumColors() >= 2) {
        invert = Luminance(image.GetPaletteColor(0)) > Luminance(image.GetPaletteColor(1));
    }
    std::vector<uint8_t> row(width);
    std::vector<uint8_t> plane(layout.bytesPerLine);
    for (int32_t y = static_cast<int32_t>(image.GetHeight()) - 1; y >= 0; --y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t index = image.GetPixelIndex(static_cast<int32_t>(x), y);
            row[x] = invert ? static_cast<uint8_t>(1 - index) : index;
        }
        for (uint32_t p = 0; p < layout.planes; ++p) {
            std::fill(plane.begin(), plane.end(), 0);
            for (uint32_t x = 0; x < width; ++x) {
                if ((row[x] >> p) & 1) plane[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
            PackPlane(out, plane.data(), plane.size());
        }
    }
}

void EncodeTrueColorRows(const CxImage& image, const PlaneLayout& layout, ImageStream& out) {
    const uint32_t width = image.GetWidth();
    const uint8_t* alpha = image.AlphaPointer();
    for (int32_t y = static_cast<int32_t>(image.GetHeight()) - 1; y >= 0; --y) {
        const uint8_t* bits = image.GetBits(static_cast<uint32_t>(y));
        // Stored order is blue, green, red; PCX planes are red, green, blue.
        for (uint32_t p = 0; p < layout.planes; ++p) {
            PixelPacker packer(out);
            for (uint32_t x = 0; x < width; ++x) {
                const int value =
                    p < 3 ? bits[x * 3 + (2 - p)] : alpha[static_cast<size_t>(y) * width + x];
                packer.Put(value);
            }
            packer.Put(EndOfLine(width));
        }
    }
}

bool WritePcx(CxImage& image, ImageStream& stream) {
    const PlaneLayout layout = LayoutOf(image);
    const auto header = BuildHeader(image, layout);
    if (stream.Write(header.data(), 1, header.size()) == 0) {
        image.SetLastError("cannot write PCX header");
        return false;
    }

    MemoryImageStream data;
    if (image.GetBpp() == 8) {
        EncodePalettedRows(image, data);
    } else if (image.GetBpp() <= 4) {
        EncodeBitPlaneRows(image, layout, data);
    } else {
        EncodeTrueColorRows(image, layout, data);
    }
    const std::vector<uint8_t>& bytes = data.Buffer();
    stream.Write(bytes.data(), 1, bytes.size());

    if (image.GetBpp() == 8) {
        std::array<uint8_t, 1 + 768> trailer{};
        trailer[0] = pcx::kTrailingPaletteMarker;
        const RgbQuad* palette = image.GetPalette();
        const uint32_t entries = palette ? std::min<uint32_t>(image.GetNumColors(), 256) : 0;
        for (uint32_t i = 0; i < entries; ++i) {
            trailer[1 + i * 3] = palette[i].rgbRed;
            trailer[2 + i * 3] = palette[i].rgbGreen;
            trailer[3 + i * 3] = palette[i].rgbBlue;
        }
        stream.Write(trailer.data(), 1, trailer.size());
    }
    // A short file must not pass for a written one.
    stream.Flush();
    if (stream.Error() != 0) {
        image.SetLastError("Write Error in PCX file");
        return false;
    }
    return true;
}

}  // namespace

bool EncodePcx(CxImage& image, ImageStream* stream) {
    if (!CheckWriterPreconditions(image, stream)) return false;
    return WritePcx(image, *stream);
}
