#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "conversion/failure_text.h"
#include "conversion/output_file.h"
#include "platform/platform.h"
#include "platform/replacement_file.h"
#include "image/ximage.h"
#include <cerrno>
#include <cstdio>

std::string RenameFailureText(const std::string& target) {
    if (platform::FileIsReadOnly(target)) return ReadOnlyText(target);
    return FailureText("cannot rename the finished file to", target, SystemErrorText(errno));
}

OutputResult WriteOutputFile(const std::string& target, const char* formatName,
                             const OutputEncoder& encode, std::string& error) {
    error.clear();
    if (target.empty()) {
        error = kNoOutputPath;
        return OutputResult::kNotCreated;
    }
    platform::ReplacementFile output;
    errno = 0;
    if (!output.Create(target, "wb")) {
        error = FailureText("cannot create", target, SystemErrorText(errno));
        return OutputResult::kNotCreated;
    }
    std::string why;
    bool encoded = false;
    int writeError = 0;
    {
        FileImageStream stream(output.stream(), false);
        encoded = encode(stream, why);
        // A full disk shows up only as a failed write or flush.
        const bool flushed = !encoded || stream.Flush();
        if (!flushed || std::ferror(output.stream()) != 0)
            writeError = stream.SystemError() != 0 ? stream.SystemError() : EIO;
    }
    errno = 0;
    if (!output.Close() && writeError == 0) writeError = errno != 0 ? errno : EIO;

    OutputResult result = OutputResult::kWritten;
    if (writeError != 0) {
        error = FailureText("cannot write", target, SystemErrorText(writeError));
        result = OutputResult::kNotWritten;
    } else if (!encoded) {
        const std::string lead = std::string("the ") + formatName + " writer failed";
        error = FailureText(lead, "", why.empty() ? "the image was refused" : why);
        result = OutputResult::kRefused;
    }
    if (result != OutputResult::kWritten) return result;  // the unfinished file goes with output
    errno = 0;
    if (!output.Commit()) {
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
