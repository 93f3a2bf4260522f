// Loading an image from files and streams.

#include "codecs/image_file.h"

#include <cstdio>
#include <string>

#include "codecs/image_stream.h"
#include "codecs/ximage_bmp.h"
#include "image/ximage.h"

namespace {

constexpr const char* kUnknownFormat = "Decode: Unknown or wrong format";

}  // namespace

bool Decode(CxImage& image, ImageStream& stream, int32_t formatCode) {
    if (!IsValidFormatCode(formatCode)) formatCode = kFormatUnknown;
    const int64_t start = stream.Tell();
    if (formatCode == kFormatBmp) return DecodeBmpInto(image, stream);
    if (formatCode != kFormatUnknown) {
        image.SetLastError(kUnknownFormat);
        return false;
    }
    // Detection: the built-in decoders one after the other, from the same start.
    if (stream.Seek(start, SEEK_SET) && DecodeBmpInto(image, stream)) return true;
    image.SetLastError(kUnknownFormat);
    return false;
}

bool Load(CxImage& image, const std::string& path, int32_t formatCode) {
    if (!IsValidFormatCode(formatCode)) formatCode = kFormatUnknown;
    // A file that cannot be opened leaves the system's reason ("No such file or directory").
    if (formatCode != kFormatUnknown) {
        FileImageStream typed(path.c_str(), "rb");
        if (!typed.IsOpen()) {
            image.SetLastError(SystemErrorText(typed.SystemError()));
            return false;
        }
        if (Decode(image, typed, formatCode)) return true;
    }
    const std::string typedError = image.GetLastError();
    FileImageStream detect(path.c_str(), "rb");
    if (!detect.IsOpen()) {
        image.SetLastError(SystemErrorText(detect.SystemError()));
        return false;
    }
    const bool detected = Decode(image, detect, kFormatUnknown);
    if (!detected && formatCode != kFormatUnknown) image.SetLastError(typedError);
    return detected;
}
