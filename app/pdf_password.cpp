#include "app/pdf_password.h"

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <vector>

#include "app/utf8_text.h"

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

bool InRanges(char32_t point, std::initializer_list<Range> ranges) {
    for (const Range& range : ranges) {
        if (point >= range.first && point <= range.last) return true;
    }
    return false;
}

std::string CodePointName(char32_t point) {
    char name[16];
    std::snprintf(name, sizeof(name), "U+%04X", static_cast<unsigned>(point));
    return name;
}

// ---- RC4 revisions: PDFDocEncoding ------------------------------------------------------------

// What PDFDocEncoding puts at 0x18..0x1F and 0x80..0xA0 (0 where it has nothing); elsewhere a
// byte is its own code point, except the unused 0x7F, 0xAD and the controls below 0x18.
constexpr char32_t kLowAccents[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr char32_t kHighSymbols[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0,      0x20AC,
};

std::optional<unsigned char> PdfDocByte(char32_t point) {
    if (point == 0x09 || point == 0x0A || point == 0x0D || (point >= 0x20 && point < 0x7F) ||
        (point >= 0xA1 && point <= 0xFF && point != 0xAD)) {
        return static_cast<unsigned char>(point);
    }
    for (unsigned i = 0; i < 8; ++i) {
        if (kLowAccents[i] == point) return static_cast<unsigned char>(0x18 + i);
    }
    for (unsigned i = 0; i < 33; ++i) {
        if (kHighSymbols[i] != 0 && kHighSymbols[i] == point) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

PasswordBytes PdfDocPassword(const std::vector<char32_t>& points) {
    PasswordBytes result;
    for (char32_t point : points) {
        const std::optional<unsigned char> byte = PdfDocByte(point);
        if (!byte) {
            result.problem = "holds " + CodePointName(point) +
                             ", which an RC4 password (-pl 40 or 128) cannot hold; use -pl 256 or other characters";
            return result;
        }
        result.bytes += static_cast<char>(*byte);
    }
    return result;
}

// ---- AES-256: SASLprep ------------------------------------------------------------------------

// Characters mapped to nothing.
bool MappedToNothing(char32_t p) {
    return InRanges(p, {{0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x1806, 0x1806}, {0x180B, 0x180D},
                        {0x200B, 0x200D}, {0x2060, 0x2060}, {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF}});
}

// Spaces other than U+0020, which they become.
bool OtherSpace(char32_t p) {
    return InRanges(p, {{0x00A0, 0x00A0}, {0x1680, 0x1680}, {0x2000, 0x200B}, {0x202F, 0x202F},
                        {0x205F, 0x205F}, {0x3000, 0x3000}});
}

// Controls, private use, non-characters, surrogates, characters unfit for plain text or for a
// canonical form, direction and tagging controls.
bool Prohibited(char32_t p) {
    if ((p & 0xFFFE) == 0xFFFE) return true;  // the last two code points of every plane
    return InRanges(p, {{0x0000, 0x001F}, {0x007F, 0x009F}, {0x0340, 0x0341}, {0x06DD, 0x06DD},
                        {0x070F, 0x070F}, {0x180E, 0x180E}, {0x200C, 0x200F}, {0x2028, 0x202E},
                        {0x2060, 0x2063}, {0x206A, 0x206F}, {0x2FF0, 0x2FFB}, {0xD800, 0xDFFF},
                        {0xE000, 0xF8FF}, {0xFDD0, 0xFDEF}, {0xFEFF, 0xFEFF}, {0xFFF9, 0xFFFD},
                        {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
                        {0xF0000, 0xFFFFD}, {0x100000, 0x10FFFD}});
}

// Letters written right to left (Hebrew, Arabic, Syriac, Thaana and their presentation forms).
bool RightToLeft(char32_t p) {
    return InRanges(p, {{0x05BE, 0x05BE}, {0x05C0, 0x05C0}, {0x05C3, 0x05C3}, {0x05D0, 0x05EA},
                        {0x05F0, 0x05F4}, {0x061B, 0x061B}, {0x061F, 0x061F}, {0x0621, 0x063A},
                        {0x0640, 0x064A}, {0x066D, 0x066F}, {0x0671, 0x06D5}, {0x06DD, 0x06DD},
                        {0x06E5, 0x06E6}, {0x06FA, 0x06FE}, {0x0700, 0x070D}, {0x0710, 0x0710},
                        {0x0712, 0x072C}, {0x0780, 0x07A5}, {0x07B1, 0x07B1}, {0x200F, 0x200F},
                        {0xFB1D, 0xFB1D}, {0xFB1F, 0xFB28}, {0xFB2A, 0xFB36}, {0xFB38, 0xFB3C},
                        {0xFB3E, 0xFB3E}, {0xFB40, 0xFB41}, {0xFB43, 0xFB44}, {0xFB46, 0xFBB1},
                        {0xFBD3, 0xFD3D}, {0xFD50, 0xFD8F}, {0xFD92, 0xFDC7}, {0xFDF0, 0xFDFC},
                        {0xFE70, 0xFE74}, {0xFE76, 0xFEFC}});
}

// Letters written left to right: the letters of the common scripts, which is what a password
// mixing directions holds in practice (the full table runs to hundreds of ranges).
bool LeftToRight(char32_t p) {
    return InRanges(p, {{0x0041, 0x005A}, {0x0061, 0x007A}, {0x00AA, 0x00AA}, {0x00B5, 0x00B5},
                        {0x00BA, 0x00BA}, {0x00C0, 0x00D6}, {0x00D8, 0x00F6}, {0x00F8, 0x02B8},
                        {0x0386, 0x03F5}, {0x0400, 0x0482}, {0x048A, 0x0587}, {0x0905, 0x0939},
                        {0x0E01, 0x0E30}, {0x10A0, 0x10F8}, {0x1100, 0x1159}, {0x1E00, 0x1FBC},
                        {0x3041, 0x3096}, {0x30A1, 0x30FA}, {0x3105, 0x312C}, {0x3400, 0x4DB5},
                        {0x4E00, 0x9FA5}, {0xAC00, 0xD7A3}, {0xF900, 0xFA2D}, {0xFF21, 0xFF3A},
                        {0xFF41, 0xFF5A}, {0xFF66, 0xFFBE}});
}

// The AES-256 form of a password: the length the readers cut it to as well.
constexpr size_t kAesPasswordBytes = 127;

// Normalisation form KC is not applied: its tables are large, and readers that skip it take
// the characters as typed, which is the form kept here.
PasswordBytes PreparedPassword(const std::vector<char32_t>& typed) {
    PasswordBytes result;
    std::vector<char32_t> points;
    for (char32_t point : typed) {
        if (MappedToNothing(point)) continue;
        points.push_back(OtherSpace(point) ? char32_t{0x20} : point);
    }
    bool rightToLeft = false;
    bool leftToRight = false;
    for (char32_t point : points) {
        if (Prohibited(point)) {
            result.problem = "holds " + CodePointName(point) + ", which a password cannot hold";
            return result;
        }
        rightToLeft = rightToLeft || RightToLeft(point);
        leftToRight = leftToRight || LeftToRight(point);
    }
    if (rightToLeft && (leftToRight || !RightToLeft(points.front()) || !RightToLeft(points.back()))) {
        result.problem = "mixes right-to-left letters with others in a way a password cannot";
        return result;
    }
    result.bytes = EncodeUtf8(points);
    if (result.bytes.size() > kAesPasswordBytes) result.bytes.resize(kAesPasswordBytes);
    return result;
}

}  // namespace

PasswordBytes PdfPasswordBytes(const std::string& utf8, bool aes256) {
    const std::optional<std::vector<char32_t>> points = DecodeUtf8(utf8);
    if (!points) return {std::string(), "is not valid UTF-8 text"};
    PasswordBytes result = aes256 ? PreparedPassword(*points) : PdfDocPassword(*points);
    // A password of ignorable characters alone would open the file without any.
    if (result.problem.empty() && result.bytes.empty() && !utf8.empty())
        result.problem = "has no character a password keeps";
    return result;
}
