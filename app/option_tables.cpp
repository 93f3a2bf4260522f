#include "app/option_tables.h"

#include <cctype>
#include <string_view>

#include "image/output_formats.h"

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The output format a -t word names, or nullptr.
const OutputFormat* FindImageType(std::string_view keyword) {
    for (const OutputFormat& format : kOutputFormats) {
        for (std::string_view word : format.keywords) {
            if (!word.empty() && EqualsIgnoringCase(keyword, word)) return &format;
        }
    }
    return nullptr;
}

struct CompressionEntry {
    std::string_view keyword;
    int32_t code;
    bool anyCase;
};

// Tried in this order; "jpg" and "jpeg" match in lower case only.
constexpr CompressionEntry kCompressions[] = {
    {"none", kCompressionNone, true},         {"lzw", kCompressionLzw, true},
    {"jpg", kCompressionJpeg, false},         {"jpeg", kCompressionJpeg, false},
    {"packbits", kCompressionPackBits, true}, {"g3", kCompressionG3, true},
    {"g4", kCompressionG4, true},             {"rle", kCompressionRle, true},
};

}  // namespace

void ApplyOutputType(const std::string& keyword, Settings& settings) {
    if (EqualsIgnoringCase(keyword, "pdf")) {
        settings.outputPdf = 1;
        return;
    }
    settings.outputPdf = 0;
    const OutputFormat* found = FindImageType(keyword);
    const OutputFormat& format = found != nullptr ? *found : kDefaultOutputFormat;
    settings.imageType = format.type;
    settings.imageExtension = format.extension;
}

int32_t CompressionCode(const std::string& keyword) {
    for (const CompressionEntry& entry : kCompressions) {
        const bool match = entry.anyCase ? EqualsIgnoringCase(keyword, entry.keyword) : keyword == entry.keyword;
        if (match) return entry.code;
    }
    return kCompressionJpeg;
}

std::string CompressionKeyword(int32_t code) {
    for (const CompressionEntry& entry : kCompressions) {
        if (entry.code == code) return std::string(entry.keyword);
    }
    return std::to_string(code);
}

bool IsOutputTypeKeyword(const std::string& keyword) {
    return EqualsIgnoringCase(keyword, "pdf") || FindImageType(keyword) != nullptr;
}

bool IsCompressionKeyword(const std::string& keyword) {
    for (const CompressionEntry& entry : kCompressions) {
        if (EqualsIgnoringCase(keyword, entry.keyword)) return true;
    }
    return false;
}
