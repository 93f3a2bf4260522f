// The one table that sends a save in a format code to that format's writer.

#include <iterator>

#include "codecs/encoders.h"
#include "codecs/image_file.h"
#include "codecs/jpeg2000_family.h"
#include "image/ximage.h"

namespace {

using EncodeFunction = bool (*)(CxImage& image, ImageStream* stream, int32_t formatCode);

struct EncoderEntry {
    int32_t formatCode;
    EncodeFunction encode;
};

constexpr EncoderEntry kEncoders[] = {
    {kFormatBmp, [](CxImage& i, ImageStream* s, int32_t) { return EncodeBmp(i, s); }},
    {kFormatGif, [](CxImage& i, ImageStream* s, int32_t) { return EncodeGif(i, s); }},
    {kFormatJpeg, [](CxImage& i, ImageStream* s, int32_t) { return EncodeJpeg(i, s); }},
    {kFormatPng, [](CxImage& i, ImageStream* s, int32_t) { return EncodePng(i, s); }},
    {kFormatTiff, [](CxImage& i, ImageStream* s, int32_t) { return EncodeTiff(i, s); }},
    {kFormatTga, [](CxImage& i, ImageStream* s, int32_t) { return EncodeTga(i, s); }},
    {kFormatPcx, [](CxImage& i, ImageStream* s, int32_t) { return EncodePcx(i, s); }},
    {kFormatJp2, EncodeJpeg2000Family},
    {kFormatJpc, EncodeJpeg2000Family},
    {kFormatPgx, EncodeJpeg2000Family},
    {kFormatPnm, EncodeJpeg2000Family},
    {kFormatRas, EncodeJpeg2000Family},
};

}  // namespace

bool Encode(CxImage& image, ImageStream* stream, int32_t formatCode) {
    for (const EncoderEntry& entry : kEncoders) {
        if (entry.formatCode == formatCode) return entry.encode(image, stream, formatCode);
    }
    image.SetLastError("Encode: Unknown format");
    return false;
}

bool CheckWriterPreconditions(CxImage& image, ImageStream* stream) {
    if (stream == nullptr) {
        image.SetLastError("null file handler");
        return false;
    }
    if (!image.IsValid()) {
        image.SetLastError("null image!!!");
        return false;
    }
    return true;
}
