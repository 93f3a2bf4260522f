// Loading and saving an image through files and streams.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "codecs/image_stream.h"
#include "codecs/ximage_bmp.h"
#include "image/ximage.h"
#include "image/temporary_file.h"

namespace {

constexpr const char* kUnknownFormat = "Decode: Unknown or wrong format";

bool IsValidFormatCode(int32_t formatCode) {
    return formatCode > 0 && formatCode < kFormatCodeCount;
}


}  // namespace

bool CxImage::Decode(ImageStream& stream, int32_t formatCode) {
    if (!IsValidFormatCode(formatCode)) formatCode = kFormatUnknown;
    const int64_t start = stream.Tell();
    if (formatCode == kFormatBmp) return DecodeBmpInto(*this, stream);
    if (formatCode != kFormatUnknown) {
        SetLastError(kUnknownFormat);
        return false;
    }
    // Detection: the built-in decoders one after the other, from the same start.
    if (stream.Seek(start, SEEK_SET) && DecodeBmpInto(*this, stream)) return true;
    SetLastError(kUnknownFormat);
    return false;
}

bool CxImage::Load(const std::string& path, int32_t formatCode) {
    if (!IsValidFormatCode(formatCode)) formatCode = kFormatUnknown;
    if (formatCode != kFormatUnknown) {
        FileImageStream typed(path.c_str(), "rb");
        if (!typed.IsOpen()) return false;
        if (Decode(typed, formatCode)) return true;
    }
    const std::string typedError = info_.lastError;
    FileImageStream detect(path.c_str(), "rb");
    if (!detect.IsOpen()) return false;
    const bool detected = Decode(detect, kFormatUnknown);
    if (!detected && formatCode != kFormatUnknown) info_.lastError = typedError;
    return detected;
}

bool CxImage::Save(const std::string& path, int32_t formatCode) {
    if (path.empty()) return false;
    std::string temporaryPath;
    std::FILE* file = OpenTemporaryBeside(path, "wb", temporaryPath);
    if (file == nullptr) return false;
    bool written;
    {
        FileImageStream stream(file, false);
        written = Encode(&stream, formatCode);
        // A full disk shows up only as a failed write or flush.
        written = written && std::fflush(file) == 0 && std::ferror(file) == 0;
    }
    written = std::fclose(file) == 0 && written;
    return PutTemporaryInPlace(written, temporaryPath, path);
}
