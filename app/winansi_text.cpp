#include "app/winansi_text.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "app/utf8_text.h"

namespace {

// The characters WinAnsi puts at 0x80..0x9F; 0 where it has none.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::optional<unsigned char> WinAnsiByte(char32_t point) {
    if (point < 0x80 || (point >= 0xA0 && point <= 0xFF)) return static_cast<unsigned char>(point);
    for (unsigned i = 0; i < 32; ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == point) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

}  // namespace

std::string Utf8ToWinAnsi(const std::string& text, bool* unmapped) {
    if (unmapped != nullptr) *unmapped = false;
    const std::optional<std::vector<char32_t>> points = DecodeUtf8(text);
    if (!points) return text;
    std::string bytes;
    for (char32_t point : *points) {
        const std::optional<unsigned char> byte = WinAnsiByte(point);
        if (!byte && unmapped != nullptr) *unmapped = true;
        bytes += byte ? static_cast<char>(*byte) : '?';
    }
    return bytes;
}
