#include "conversion/failure_text.h"

#include "image/output_formats.h"
#include "image/ximage.h"

std::string FailureText(std::string_view lead, const std::string& path, std::string_view reason) {
    const auto compose = [&](std::string_view shown) {
        std::string text(lead);
        if (!shown.empty()) {
            text += ' ';
            text += shown;
        }
        text += ": ";
        text += reason;
        return text;
    };
    std::string text = compose(path);
    if (text.size() > kLastErrorCapacity) {
        const size_t slash = path.find_last_of("/\\");
        if (slash != std::string::npos) text = compose(std::string_view(path).substr(slash + 1));
    }
    if (text.size() > kLastErrorCapacity) text.resize(kLastErrorCapacity);
    return text;
}

std::string ReadOnlyText(const std::string& path) {
    constexpr std::string_view kReadOnly = " is read-only";
    std::string text = path + std::string(kReadOnly);
    if (text.size() > kLastErrorCapacity) {
        const size_t slash = path.find_last_of("/\\");
        if (slash != std::string::npos) text = path.substr(slash + 1) + std::string(kReadOnly);
    }
    if (text.size() > kLastErrorCapacity) text.resize(kLastErrorCapacity);
    return text;
}

const char* FormatName(int32_t formatCode) {
    for (const OutputFormat& format : kOutputFormats) {
        if (format.writer == formatCode && formatCode != kFormatUnknown) return format.name.data();
    }
    return "image";
}

std::string ReductionText(int32_t depth) {
    return "reduce the page to " + std::to_string(depth) + (depth == 1 ? " bit" : " bits") + " per pixel";
}

std::string ResizeText(int32_t width, int32_t height) {
    return "resize the page to " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}
