#include "engine/xps/endless_markup.h"

#include <algorithm>
#include <vector>

#include "engine/xps/xps_package.h"

namespace engine {
namespace {

// More glyphs than this in one element are taken for a loop: a line of text has a few hundred.
constexpr long long kMaxGlyphsPerElement = 1000000;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool StartsNumber(char c) { return IsDigit(c) || c == '.' || c == '+' || c == '-'; }

// How many numbers a path command takes in the library's reader; -1 for one it does not know,
// whose numbers it skips.
int Operands(char command) {
    switch (command) {
        case 'F': case 'H': case 'h': case 'V': case 'v': return 1;
        case 'M': case 'm': case 'L': case 'l': return 2;
        case 'S': case 's': case 'Q': case 'q': return 4;
        case 'C': case 'c': return 6;
        case 'A': case 'a': return 7;
        case 'Z': case 'z': return 0;
        default: return -1;
    }
}

// Reads digits as the library does, stopping at kMaxGlyphsPerElement rather than overflowing.
const char* Digits(const char* at, long long& value) {
    value = 0;
    while (IsDigit(*at)) {
        value = std::min(value * 10 + (*at - '0'), kMaxGlyphsPerElement + 1);
        ++at;
    }
    return at;
}

// A number of the markup's grammar: [+-] digits [. digits] [e [+-] digits]. What the library
// reads further (a hexadecimal or "inf") counts as not read, which can only refuse more.
const char* RealNumber(const char* at) {
    if (*at == '+' || *at == '-') ++at;
    while (IsDigit(*at)) ++at;
    if (*at == '.') {
        ++at;
        while (IsDigit(*at)) ++at;
    }
    if (*at == 'e' || *at == 'E') {
        const char* exponent = at + 1;
        if (*exponent == '+' || *exponent == '-') ++exponent;
        if (IsDigit(*exponent)) {
            at = exponent;
            while (IsDigit(*at)) ++at;
        }
    }
    return at;
}

// An attribute's value as quoted in a message: its start, when it is long.
std::string Quoted(const char* value) {
    const std::string text = value;
    std::string quoted = "\"";
    quoted += text.size() <= 40 ? text : text.substr(0, 40) + "...";
    return quoted + "\"";
}

}  // namespace

bool PathDataNeverEnds(const char* data) {
    if (!data || data[0] == '{') return false;  // a resource, checked where it is written
    // The library's tokens: a letter alone, or a run of number characters.
    std::vector<char> tokens;  // the first character of each
    for (const char* at = data; *at;) {
        if (IsLetter(*at)) {
            tokens.push_back(*at++);
        } else if (StartsNumber(*at)) {
            tokens.push_back(*at);
            while (StartsNumber(*at) || *at == 'e' || *at == 'E') ++at;
        } else {
            ++at;
        }
    }
    const size_t n = tokens.size();
    size_t i = 0;
    char previous = 0;
    while (i < n) {
        // A number repeats the command before it, without moving on.
        const bool repeated = StartsNumber(tokens[i]);
        const char command = repeated ? previous : tokens[i++];
        const int operands = Operands(command);
        const size_t start = i;
        if (operands < 0) {
            while (i < n && StartsNumber(tokens[i])) ++i;
        } else if (operands > 0 && i + static_cast<size_t>(operands) <= n) {
            i += static_cast<size_t>(operands);
        }
        // A repeated command that took nothing is repeated on the same number for ever.
        if (repeated && i == start) return true;
        previous = command;
    }
    return false;
}

bool GlyphIndicesNeverEnd(const char* indices) {
    if (!indices) return false;
    long long glyphs = 0;
    for (const char* at = indices; *at;) {
        const char* start = at;
        long long codes = 1;
        long long clusterGlyphs = 1;
        if (*at == '(') at = Digits(at + 1, codes);
        if (*at == ':') at = Digits(at + 1, clusterGlyphs);
        if (*at == ')') ++at;
        glyphs += std::max(codes, 1LL) + std::max(clusterGlyphs, 1LL);
        if (glyphs > kMaxGlyphsPerElement) return true;
        for (long long g = std::max(clusterGlyphs, 1LL); g > 0 && *at; --g) {
            long long index = 0;
            if (IsDigit(*at)) at = Digits(at, index);
            for (int metric = 0; metric < 3 && *at == ','; ++metric) at = RealNumber(at + 1);
            if (*at == ';') ++at;
        }
        // Nothing of the entry was read: it stays there, and so does the reader.
        if (at == start) return true;
    }
    return false;
}

std::string EndlessMarkupIn(fz_xml* fixedPage) {
    // Resources hold geometry too, so every element is looked at.
    std::string refusal;
    VisitElementsBelow(fixedPage, [&](fz_xml* element) {
        const std::string kind = LocalName(element);
        for (const char* attribute : {"Data", "Clip", "Figures"}) {
            const char* value = fz_xml_att(element, attribute);
            if (PathDataNeverEnds(value)) {
                refusal = "a " + kind + " element's " + attribute + "=" + Quoted(value) +
                          " is geometry the renderer never finishes; the page was not drawn";
                return false;
            }
        }
        const char* indices = kind == "Glyphs" ? fz_xml_att(element, "Indices") : nullptr;
        if (GlyphIndicesNeverEnd(indices)) {
            refusal = std::string("a Glyphs element's Indices=") + Quoted(indices) +
                      " are glyph indices the renderer never finishes; the page was not drawn";
            return false;
        }
        return true;
    });
    return refusal;
}

}  // namespace engine
