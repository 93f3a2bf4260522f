#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "conversion/failure_text.h"
#include "conversion/output_file.h"
#include "image/temporary_file.h"
#include "image/ximage.h"
#include <cerrno>
#include <cstdio>

std::string RenameFailureText(const std::string& target) {
    return FailureText("cannot rename the finished file to", target, SystemErrorText(errno));
}

OutputResult WriteOutputFile(const std::string& target, const char* formatName,
                             const OutputEncoder& encode, std::string& error) {
    error.clear();
    if (target.empty()) {
        error = kNoOutputPath;
        return OutputResult::kNotCreated;
    }
    std::string temporaryPath;
    errno = 0;
    std::FILE* file = OpenTemporaryBeside(target, "wb", temporaryPath);
    if (file == nullptr) {
        error = FailureText("cannot create", target, SystemErrorText(errno));
        return OutputResult::kNotCreated;
    }
    std::string why;
    bool encoded = false;
    int writeError = 0;
    {
        FileImageStream stream(file, false);
        encoded = encode(stream, why);
        // A full disk shows up only as a failed write or flush.
        const bool flushed = !encoded || stream.Flush();
        if (!flushed || std::ferror(file) != 0)
            writeError = stream.SystemError() != 0 ? stream.SystemError() : EIO;
    }
    errno = 0;
    if (std::fclose(file) != 0 && writeError == 0) writeError = errno != 0 ? errno : EIO;

    OutputResult result = OutputResult::kWritten;
    if (writeError != 0) {
        error = FailureText("cannot write", target, SystemErrorText(writeError));
        result = OutputResult::kNotWritten;
    } else if (!encoded) {
        const std::string lead = std::string("the ") + formatName + " writer failed";
        error = FailureText(lead, "", why.empty() ? "the image was refused" : why);
        result = OutputResult::kRefused;
    }
    if (result != OutputResult::kWritten) {
        PutTemporaryInPlace(false, temporaryPath, target);
        return result;
    }
    errno = 0;
    if (!PutTemporaryInPlace(true, temporaryPath, target)) {
        error = RenameFailureText(target);
        return OutputResult::kNotRenamed;
    }
    return OutputResult::kWritten;
}

bool SaveImageFile(CxImage& image, const std::string& path, int32_t formatCode, std::string& error) {
    const OutputResult result = WriteOutputFile(
        path, FormatName(formatCode),
        [&image, formatCode](FileImageStream& stream, std::string& why) {
            if (Encode(image, &stream, formatCode)) return true;
            why = image.GetLastError();
            return false;
        },
        error);
    return result == OutputResult::kWritten;
}
