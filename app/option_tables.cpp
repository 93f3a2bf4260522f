#include "app/option_tables.h"

#include <cctype>
#include <string_view>

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

struct ImageTypeEntry {
    std::string_view keyword;
    int32_t imageType;
    std::string_view extension;
};

constexpr ImageTypeEntry kImageTypes[] = {
    {"bmp", 1, ".bmp"},  {"png", 5, ".png"},  {"jpeg", 4, ".jpg"}, {"jpg", 4, ".jpg"},
    {"gif", 6, ".gif"},  {"pcx", 8, ".pcx"},  {"tiff", 7, ".tif"}, {"tif", 7, ".tif"},
    {"wmf", 3, ".wmf"},  {"emf", 2, ".emf"},  {"tga", 9, ".tga"},  {"jp2", 10, ".jp2"},
    {"ras", 11, ".ras"}, {"jpc", 12, ".jpc"},
};

struct CompressionEntry {
    std::string_view keyword;
    int32_t code;
    bool anyCase;
};

// Tried in this order; "jpg" and "jpeg" match in lower case only.
constexpr CompressionEntry kCompressions[] = {
    {"none", 0, true}, {"lzw", 1, true},      {"jpg", 2, false}, {"jpeg", 2, false},
    {"packbits", 3, true}, {"g3", 5, true}, {"g4", 4, true},   {"rle", 6, true},
};

}  // namespace

void ApplyOutputType(const std::string& keyword, Settings& settings) {
    if (EqualsIgnoringCase(keyword, "pdf")) {
        settings.outputPdf = 1;
        return;
    }
    settings.outputPdf = 0;
    for (const ImageTypeEntry& entry : kImageTypes) {
        if (EqualsIgnoringCase(keyword, entry.keyword)) {
            settings.imageType = entry.imageType;
            settings.imageExtension = entry.extension;
            return;
        }
    }
    settings.imageType = 4;
    settings.imageExtension = ".jpg";
}

int32_t CompressionCode(const std::string& keyword) {
    for (const CompressionEntry& entry : kCompressions) {
        const bool match = entry.anyCase ? EqualsIgnoringCase(keyword, entry.keyword) : keyword == entry.keyword;
        if (match) return entry.code;
    }
    return 2;
}

bool IsOutputTypeKeyword(const std::string& keyword) {
    if (EqualsIgnoringCase(keyword, "pdf")) return true;
    for (const ImageTypeEntry& entry : kImageTypes) {
        if (EqualsIgnoringCase(keyword, entry.keyword)) return true;
    }
    return false;
}

bool IsCompressionKeyword(const std::string& keyword) {
    for (const CompressionEntry& entry : kCompressions) {
        if (EqualsIgnoringCase(keyword, entry.keyword)) return true;
    }
    return false;
}
