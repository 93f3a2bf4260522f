// Loading and saving an image through files and streams.

#include <cstdio>
#include <string>

#include "codecs/image_stream.h"
#include "codecs/ximage_bmp.h"
#include "image/failure_text.h"
#include "image/output_file.h"
#include "image/ximage.h"

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
    // A file that cannot be opened leaves the system's reason ("No such file or directory").
    if (formatCode != kFormatUnknown) {
        FileImageStream typed(path.c_str(), "rb");
        if (!typed.IsOpen()) {
            SetLastError(SystemErrorText(typed.SystemError()));
            return false;
        }
        if (Decode(typed, formatCode)) return true;
    }
    const std::string typedError = info_.lastError;
    FileImageStream detect(path.c_str(), "rb");
    if (!detect.IsOpen()) {
        SetLastError(SystemErrorText(detect.SystemError()));
        return false;
    }
    const bool detected = Decode(detect, kFormatUnknown);
    if (!detected && formatCode != kFormatUnknown) info_.lastError = typedError;
    return detected;
}

bool CxImage::Save(const std::string& path, int32_t formatCode) {
    std::string error;
    const OutputResult result = WriteOutputFile(
        path, FormatName(formatCode),
        [this, formatCode](FileImageStream& stream, std::string& why) {
            if (Encode(&stream, formatCode)) return true;
            why = GetLastError();
            return false;
        },
        error);
    // An encoder's refusal keeps the encoder's own message; a file that could not be made,
    // written or renamed gets a sentence naming it.
    if (result != OutputResult::kWritten && result != OutputResult::kRefused) SetLastError(error);
    return result == OutputResult::kWritten;
}
