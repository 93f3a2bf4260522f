#include "app/long_options.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr size_t kHelpWidth = 80;
constexpr size_t kTermIndent = 4;
constexpr size_t kDescriptionColumn = 24;

// Decimal digits only, at most nine (so the value fits), no sign, no blanks.
bool ReadWholeNumber(std::string_view text, int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    int32_t read = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        read = read * 10 + (c - '0');
    }
    value = read;
    return true;
}

}  // namespace

const LongOption* FindLongOption(std::string_view name) {
    for (const LongOption& option : kLongOptions) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

const LongOption* FindShortOption(char letter) {
    for (const LongOption& option : kLongOptions) {
        if (letter != '\0' && option.letter == letter) return &option;
    }
    return nullptr;
}

std::string LongOptionsHelpSection() {
    std::string section = "LONG OPTIONS\n";
    for (const LongOption& option : kLongOptions) {
        std::string line(kTermIndent, ' ');
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "-" + text.
        if (option.letter != '\0') {
            line += '-';
            line += option.letter;
            line += ", ";
        }
        line += "--";
        line += option.name;
        if (!option.valueName.empty()) {
            line += ' ';
            line += option.valueName;
        }
        line.resize(std::max(line.size() + 2, kDescriptionColumn), ' ');
        // Words are filled up to the width; a continued line starts at the description column.
        std::string_view rest = option.help;
        bool first = true;
        while (!rest.empty()) {
            const size_t end = rest.find(' ');
            const std::string_view word = rest.substr(0, end);
            if (!first && line.size() + 1 + word.size() > kHelpWidth) {
                section += line + "\n";
                line.assign(kDescriptionColumn, ' ');
                first = true;
            }
            if (!first) line += ' ';
            line += word;
            first = false;
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
        section += line + "\n";
    }
    return section;
}

bool ReadJobs(const std::string& text, int32_t& jobs) {
    int32_t value = 0;
    if (!ReadWholeNumber(text, value) || value > kMaxJobs) return false;
    jobs = value;
    return true;
}

bool ReadShard(const std::string& text, int32_t& index, int32_t& count) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    int32_t k = 0;
    int32_t n = 0;
    if (!ReadWholeNumber(std::string_view(text).substr(0, slash), k) ||
        !ReadWholeNumber(std::string_view(text).substr(slash + 1), n) || n < 1 || k >= n)
        return false;
    index = k;
    count = n;
    return true;
}

bool ReadResolution(const std::string& text, int32_t& dpi) {
    int32_t value = 0;
    if (!ReadWholeNumber(text, value) || value < 72 || value > 600) return false;
    dpi = value;
    return true;
}
