#include "engine/xps/glyph_text.h"

#include <algorithm>
#include <cstdlib>

#include "engine/xps/xps_package.h"

namespace engine {
namespace {

constexpr int kReplacementCharacter = 0xFFFD;

struct Cluster {
    int codeUnits = 1;  // UTF-16 code units of the text
    int glyphs = 1;
};

// One entry of Indices: "[(units[:glyphs])][glyph][,advance[,uOffset[,vOffset]]]".
struct IndexEntry {
    Cluster cluster;
    int glyphId = -1;
};

int ReadDigits(const char*& at) {
    int value = 0;
    while (*at >= '0' && *at <= '9') {
        if (value < 1000000) value = value * 10 + (*at - '0');
        ++at;
    }
    return value;
}

// Reads the entries as the library does: a cluster at the start of an entry, then the glyph
// number; the metrics are skipped.
class IndexReader {
  public:
    explicit IndexReader(const char* indices) : at_(indices) {}
    bool More() const { return at_ && *at_; }
    Cluster ReadCluster() {
        Cluster cluster;
        if (*at_ == '(') {
            ++at_;
            cluster.codeUnits = ReadDigits(at_);
            if (*at_ == ':') {
                ++at_;
                cluster.glyphs = ReadDigits(at_);
            }
            if (*at_ == ')') ++at_;
        }
        if (cluster.codeUnits < 1) cluster.codeUnits = 1;
        if (cluster.glyphs < 1) cluster.glyphs = 1;
        return cluster;
    }
    int ReadGlyph() {
        int glyph = -1;
        if (*at_ >= '0' && *at_ <= '9') glyph = ReadDigits(at_);
        while (*at_ && *at_ != ';') ++at_;
        if (*at_ == ';') ++at_;
        return glyph;
    }

  private:
    const char* at_;
};

std::u32string DecodeUtf8(const char* text) {
    std::u32string out;
    for (const char* at = text; *at;) {
        int rune = 0;
        at += fz_chartorune(&rune, at);
        out += static_cast<char32_t>(rune);
    }
    return out;
}

int CodeUnits(char32_t c) { return c >= 0x10000 ? 2 : 1; }

// Every Glyphs element below fixedPage in document order, however deep.
void Collect(fz_xml* fixedPage, std::vector<GlyphRunText>& runs) {
    VisitElementsBelow(fixedPage, [&](fz_xml* element) {
        if (LocalName(element) == "Glyphs") {
            const char* unicode = fz_xml_att(element, "UnicodeString");
            const char* bidi = fz_xml_att(element, "BidiLevel");
            if (unicode && *unicode) {
                runs.push_back(ReadGlyphRun(unicode, fz_xml_att(element, "Indices"),
                                            bidi ? std::atoi(bidi) : 0));
            }
        }
        return true;
    });
}

}  // namespace

GlyphRunText ReadGlyphRun(const char* unicodeString, const char* indices, int bidiLevel) {
    GlyphRunText run;
    if (unicodeString && unicodeString[0] == '{' && unicodeString[1] == '}') unicodeString += 2;
    run.text = DecodeUtf8(unicodeString ? unicodeString : "");
    run.rightToLeft = bidiLevel % 2 == 1;
    const std::u32string& text = run.text;
    // Two readings of the same entries: the library counts a cluster's text in characters,
    // the markup means UTF-16 code units; they part only after a character beyond U+FFFF.
    size_t shown = 0;  // next character the library takes
    size_t taken = 0;  // next character of the markup's own reading
    IndexReader reader(indices);
    while (shown < text.size() || reader.More()) {
        const bool listed = reader.More();
        const Cluster cluster = listed ? reader.ReadCluster() : Cluster{};
        int character = kReplacementCharacter;
        for (int i = 0; i < cluster.codeUnits && shown < text.size(); ++i) {
            character = static_cast<int>(text[shown++]);
        }
        std::u32string own;
        for (int units = 0; units < cluster.codeUnits && taken < text.size();) {
            units += CodeUnits(text[taken]);
            own += text[taken++];
        }
        // Each glyph of the cluster takes the next character in turn, the last one the rest;
        // glyphs past the characters stand for nothing.
        for (int g = 0; g < cluster.glyphs; ++g) {
            run.shownCharacters.push_back(character);
            run.glyphIds.push_back(reader.More() ? reader.ReadGlyph() : -1);
            const size_t first = std::min(static_cast<size_t>(g), own.size());
            const size_t count = g + 1 == cluster.glyphs ? std::u32string::npos : 1;
            run.glyphTexts.push_back(own.substr(first, count));
            std::u32string& part = run.glyphTexts.back();
            if (bidiLevel % 2 == 1) std::reverse(part.begin(), part.end());
        }
    }
    // Text past the last glyph goes with it.
    if (taken < text.size()) {
        if (run.glyphTexts.empty() || bidiLevel % 2 == 1) run.glyphByGlyph = false;
        if (!run.glyphTexts.empty()) run.glyphTexts.back() += text.substr(taken);
    }
    return run;
}

std::vector<GlyphRunText> ReadGlyphRuns(fz_xml* fixedPage) {
    std::vector<GlyphRunText> runs;
    if (fixedPage) Collect(fixedPage, runs);
    return runs;
}

}  // namespace engine
