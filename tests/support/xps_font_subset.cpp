#include "support/xps_font_subset.h"

#include <algorithm>
#include <map>
#include <set>

namespace xpsfixture {
namespace {

struct Reader {
    const std::vector<uint8_t>& data;
    bool ok = true;
    uint32_t U16(size_t at) {
        if (at + 2 > data.size()) return ok = false, 0;
        return static_cast<uint32_t>(data[at] << 8 | data[at + 1]);
    }
    uint32_t U32(size_t at) { return U16(at) << 16 | U16(at + 2); }
};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v >> 16);
    Put16(out, v & 0xFFFF);
}

struct Table {
    uint32_t offset = 0;
    uint32_t length = 0;
};

// Glyph number of c in a format 4 character map subtable at `at`; 0 when unmapped.
uint32_t LookUpFormat4(Reader& r, size_t at, char32_t c) {
    if (c > 0xFFFF) return 0;
    uint32_t segments = r.U16(at + 6) / 2;
    size_t ends = at + 14;
    size_t starts = ends + 2 * segments + 2;
    size_t deltas = starts + 2 * segments;
    size_t rangeOffsets = deltas + 2 * segments;
    for (uint32_t i = 0; i < segments && r.ok; ++i) {
        if (c > r.U16(ends + 2 * i)) continue;
        uint32_t start = r.U16(starts + 2 * i);
        if (c < start) return 0;
        uint32_t delta = r.U16(deltas + 2 * i);
        uint32_t rangeOffset = r.U16(rangeOffsets + 2 * i);
        if (rangeOffset == 0) return (c + delta) & 0xFFFF;
        uint32_t glyph = r.U16(rangeOffsets + 2 * i + rangeOffset + 2 * (c - start));
        return glyph == 0 ? 0 : (glyph + delta) & 0xFFFF;
    }
    return 0;
}

// Offset of the Windows Unicode (3,1) format 4 subtable, or 0.
size_t FindUnicodeMap(Reader& r, const Table& cmap) {
    uint32_t count = r.U16(cmap.offset + 2);
    for (uint32_t i = 0; i < count && r.ok; ++i) {
        size_t record = cmap.offset + 4 + 8 * i;
        size_t sub = cmap.offset + r.U32(record + 4);
        if (r.U16(record) == 3 && r.U16(record + 2) == 1 && r.U16(sub) == 4) return sub;
    }
    return 0;
}

// Glyphs a composite glyph is built from.
void AddComponents(Reader& r, size_t glyph, size_t end, std::vector<uint32_t>& pending) {
    size_t at = glyph + 10;
    for (;;) {
        if (at + 4 > end) return;
        uint32_t flags = r.U16(at);
        pending.push_back(r.U16(at + 2));
        at += 4 + ((flags & 0x1) ? 4 : 2);
        if (flags & 0x8)
            at += 2;
        else if (flags & 0x40)
            at += 4;
        else if (flags & 0x80)
            at += 8;
        if (!(flags & 0x20)) return;
    }
}

uint32_t Checksum(const std::vector<uint8_t>& table) {
    uint32_t sum = 0;
    for (size_t i = 0; i < table.size(); i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k) word = word << 8 | (i + k < table.size() ? table[i + k] : 0);
        sum += word;
    }
    return sum;
}

}  // namespace

uint32_t GlyphIndexOf(const std::vector<uint8_t>& font, char32_t c) {
    Reader r{font};
    for (uint32_t i = 0, count = r.U16(4); i < count && r.ok; ++i) {
        const size_t entry = 12 + 16 * i;
        if (entry + 16 > font.size()) return 0;
        if (std::string(font.begin() + entry, font.begin() + entry + 4) != "cmap") continue;
        const size_t map = FindUnicodeMap(r, Table{r.U32(entry + 8), r.U32(entry + 12)});
        return map ? LookUpFormat4(r, map, c) : 0;
    }
    return 0;
}

std::vector<uint8_t> SubsetTrueTypeFont(const std::vector<uint8_t>& font,
                                        const std::u32string& characters) {
    Reader r{font};
    uint32_t tableCount = r.U16(4);
    std::map<std::string, Table> tables;
    for (uint32_t i = 0; i < tableCount && r.ok; ++i) {
        size_t entry = 12 + 16 * i;
        if (entry + 16 > font.size()) return {};
        std::string tag(font.begin() + entry, font.begin() + entry + 4);
        Table table{r.U32(entry + 8), r.U32(entry + 12)};
        if (uint64_t{table.offset} + table.length > font.size()) return {};
        tables[tag] = table;
    }
    for (const char* needed : {"head", "maxp", "loca", "glyf", "cmap", "hhea", "hmtx"}) {
        if (!tables.count(needed)) return {};
    }
    const Table head = tables["head"];
    const Table loca = tables["loca"];
    const Table glyf = tables["glyf"];
    bool longOffsets = r.U16(head.offset + 50) == 1;
    uint32_t glyphCount = r.U16(tables["maxp"].offset + 4);
    auto glyphOffset = [&](uint32_t g) -> uint32_t {
        return longOffsets ? r.U32(loca.offset + 4 * g) : 2 * r.U16(loca.offset + 2 * g);
    };

    size_t unicodeMap = FindUnicodeMap(r, tables["cmap"]);
    std::vector<uint32_t> pending = {0};
    if (unicodeMap) {
        for (char32_t c : characters) pending.push_back(LookUpFormat4(r, unicodeMap, c));
    }
    std::set<uint32_t> kept;
    while (!pending.empty() && r.ok) {
        uint32_t g = pending.back();
        pending.pop_back();
        if (g >= glyphCount || !kept.insert(g).second) continue;
        uint32_t start = glyphOffset(g);
        uint32_t end = glyphOffset(g + 1);
        if (end > start && static_cast<int16_t>(r.U16(glyf.offset + start)) < 0) {
            AddComponents(r, glyf.offset + start, glyf.offset + end, pending);
        }
    }
    if (!r.ok) return {};

    std::map<std::string, std::vector<uint8_t>> out;
    std::vector<uint8_t>& newGlyf = out["glyf"];
    std::vector<uint8_t>& newLoca = out["loca"];
    for (uint32_t g = 0; g < glyphCount; ++g) {
        Put32(newLoca, static_cast<uint32_t>(newGlyf.size()));
        if (!kept.count(g)) continue;
        uint32_t start = glyphOffset(g);
        uint32_t end = std::min(glyphOffset(g + 1), glyf.length);
        if (end > start) {
            newGlyf.insert(newGlyf.end(), font.begin() + glyf.offset + start,
                           font.begin() + glyf.offset + end);
        }
        while (newGlyf.size() % 4) newGlyf.push_back(0);
    }
    Put32(newLoca, static_cast<uint32_t>(newGlyf.size()));

    for (const char* copied :
         {"head", "hhea", "hmtx", "maxp", "cmap", "name", "OS/2", "cvt ", "fpgm", "prep", "gasp"}) {
        auto found = tables.find(copied);
        if (found == tables.end()) continue;
        auto begin = font.begin() + found->second.offset;
        out[copied].assign(begin, begin + found->second.length);
    }
    std::vector<uint8_t>& newHead = out["head"];
    if (newHead.size() < 54) return {};
    newHead[50] = 0;
    newHead[51] = 1;                                          // long loca offsets
    std::fill(newHead.begin() + 8, newHead.begin() + 12, 0);  // checksum adjustment, unused
    if (tables.count("post")) {
        // Version 3: no glyph names, the other fields kept.
        std::vector<uint8_t>& post = out["post"];
        auto begin = font.begin() + tables["post"].offset;
        post.assign(begin, begin + std::min<uint32_t>(32, tables["post"].length));
        post.resize(32, 0);
        post[0] = 0;
        post[1] = 3;
        post[2] = 0;
        post[3] = 0;
    }

    std::vector<uint8_t> result;
    uint32_t count = static_cast<uint32_t>(out.size());
    uint32_t power = 1;
    uint32_t log2 = 0;
    while (power * 2 <= count) power *= 2, ++log2;
    Put32(result, 0x00010000);
    Put16(result, count);
    Put16(result, power * 16);
    Put16(result, log2);
    Put16(result, count * 16 - power * 16);
    uint32_t offset = 12 + 16 * count;
    for (const auto& [tag, data] : out) {  // std::map keeps the tags sorted
        result.insert(result.end(), tag.begin(), tag.end());
        Put32(result, Checksum(data));
        Put32(result, offset);
        Put32(result, static_cast<uint32_t>(data.size()));
        offset += (static_cast<uint32_t>(data.size()) + 3) & ~3u;
    }
    for (const auto& [tag, data] : out) {
        result.insert(result.end(), data.begin(), data.end());
        while (result.size() % 4) result.push_back(0);
    }
    return result;
}

}  // namespace xpsfixture
