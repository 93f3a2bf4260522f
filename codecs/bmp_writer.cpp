// BMP writer: the 14-byte file header in front of the image's own DIB block.

#include <cstring>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "codecs/ximage_bmp.h"
#include "protocol/bmp_layout.h"
#include "protocol/byte_order.h"

namespace {

using bmp::kFileHeaderSize;

void WriteFileHeader(ImageStream& stream, uint32_t fileSize, uint32_t pixelOffset) {
    uint8_t bytes[kFileHeaderSize] = {};
    PutLe16(bytes, bmp::kMagic);
    PutLe32(bytes + bmp::kFileSizeAt, fileSize);
    PutLe32(bytes + bmp::kPixelOffsetAt, pixelOffset);
    stream.Write(bytes, 1, sizeof(bytes));
}

// The header in file byte order, whatever the host's.
void WriteInfoHeader(ImageStream& stream, const BitmapInfoHeader& header) {
    uint8_t bytes[sizeof(BitmapInfoHeader)];
    PutLe32(bytes, header.biSize);
    PutLe32(bytes + bmp::kWidthAt, static_cast<uint32_t>(header.biWidth));
    PutLe32(bytes + bmp::kHeightAt, static_cast<uint32_t>(header.biHeight));
    PutLe16(bytes + bmp::kPlanesAt, header.biPlanes);
    PutLe16(bytes + bmp::kBitCountAt, header.biBitCount);
    PutLe32(bytes + bmp::kCompressionAt, header.biCompression);
    PutLe32(bytes + bmp::kImageSizeAt, header.biSizeImage);
    PutLe32(bytes + bmp::kXPelsPerMeterAt, static_cast<uint32_t>(header.biXPelsPerMeter));
    PutLe32(bytes + bmp::kYPelsPerMeterAt, static_cast<uint32_t>(header.biYPelsPerMeter));
    PutLe32(bytes + bmp::kColoursUsedAt, header.biClrUsed);
    PutLe32(bytes + bmp::kColoursImportantAt, header.biClrImportant);
    stream.Write(bytes, 1, sizeof(bytes));
}

}  // namespace

bool CxImageBMP::EncodeBmp(ImageStream* stream) {
    if (!CheckWriterPreconditions(*this, stream)) return false;
    const uint32_t paletteBytes = GetPaletteSize();
    const uint32_t pixelOffset = kFileHeaderSize + sizeof(BitmapInfoHeader) + paletteBytes;

    if (head_.biClrUsed != 0 || alpha_ == nullptr) {
        WriteFileHeader(*stream, kFileHeaderSize + GetSize(), pixelOffset);
        UpdateHeaderCopy();
        WriteInfoHeader(*stream, head_);
        const auto* block = static_cast<const uint8_t*>(dib_);
        stream->Write(block + sizeof(BitmapInfoHeader), 1, paletteBytes + head_.biSizeImage);
        return true;
    }

    // 24 bits with an alpha plane: blue, green, red, alpha per pixel.
    BitmapInfoHeader header = head_;
    header.biBitCount = 32;
    header.biCompression = bmp::kRgb;
    const uint32_t width = GetWidth();
    const uint32_t height = GetHeight();
    header.biSizeImage = ((width * 32 + 31) / 32) * 4 * height;
    WriteFileHeader(*stream, header.biSizeImage + sizeof(BitmapInfoHeader) + kFileHeaderSize,
                    pixelOffset);
    WriteInfoHeader(*stream, header);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
    const uint8_t* alpha = alpha_;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* source = GetBits(y);
        for (uint32_t x = 0; x < width; ++x) {
            row[x * 4 + 0] = source[x * 3 + 0];
            row[x * 4 + 1] = source[x * 3 + 1];
            row[x * 4 + 2] = source[x * 3 + 2];
            row[x * 4 + 3] = *alpha++;
        }
        stream->Write(row.data(), 1, row.size());
    }
    return true;
}

bool EncodeBmp(CxImage& image, ImageStream* stream) {
    CxImageBMP writer;
    writer.Ghost(image);
    if (writer.EncodeBmp(stream)) return true;
    image.SetLastError(writer.GetLastError());
    return false;
}
