#include "engine/pdf/pdf_text_layer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_FONT_FORMATS_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/pdf/pdf_to_unicode.h"
#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

// Calls visit(item, span) for every glyph of text, in order.
template <typename Visit>
void ForEachGlyph(const fz_text* text, Visit visit) {
    for (const fz_text_span* span = text->head; span; span = span->next) {
        for (int i = 0; i < span->len; ++i) visit(span->items[i], span);
    }
}

bool Matches(const GlyphRunText& run, const fz_text* text) {
    size_t index = 0;
    bool same = true;
    ForEachGlyph(text, [&](const fz_text_item& item, const fz_text_span*) {
        if (!same) return;
        if (index >= run.shownCharacters.size() || run.shownCharacters[index] != item.ucs ||
            (run.glyphIds[index] >= 0 && run.glyphIds[index] != item.gid)) {
            same = false;
        }
        ++index;
    });
    return same && index == run.shownCharacters.size();
}

void AppendUtf16Hex(std::string& out, char32_t c) {
    char hex[16];
    if (c >= 0x10000) {
        const auto rest = static_cast<unsigned>(c - 0x10000);
        std::snprintf(hex, sizeof hex, "%04X%04X", 0xD800u + (rest >> 10), 0xDC00u + (rest & 0x3FF));
    } else {
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(c));
    }
    out += hex;
}

// The characters the font's own map gives each glyph, as the output device reads them: the
// last of the characters mapped to a glyph wins.
std::vector<int> FontCharacters(fz_context* ctx, fz_font* font) {
    auto face = static_cast<FT_Face>(fz_font_ft_face(ctx, font));
    std::vector<int> table;
    if (!face || face->num_glyphs <= 0) return table;
    table.assign(static_cast<size_t>(face->num_glyphs), 0);
    // The context's lock callbacks directly: the library's fz_lock of a debug build calls a
    // lock checker that the release library does not have.
    ctx->locks.lock(ctx->locks.user, FZ_LOCK_FREETYPE);
    FT_UInt gid = 0;
    for (FT_ULong c = FT_Get_First_Char(face, &gid); gid != 0; c = FT_Get_Next_Char(face, c, &gid)) {
        if (gid < table.size()) table[gid] = static_cast<int>(c);
    }
    ctx->locks.unlock(ctx->locks.user, FZ_LOCK_FREETYPE);
    return table;
}

// Whether codes past the glyph numbers of font can name its glyphs, and how many glyphs it
// has. The output device writes a TrueType program as a CIDFontType2 font, whose glyph map
// takes any code to any glyph.
bool Extendable(fz_context* ctx, fz_font* font, int& glyphCount) {
    auto face = static_cast<FT_Face>(fz_font_ft_face(ctx, font));
    glyphCount = 0;
    if (!face || face->num_glyphs <= 0 || !font->buffer) return false;
    ctx->locks.lock(ctx->locks.user, FZ_LOCK_FREETYPE);
    const char* format = FT_Get_Font_Format(face);
    const bool trueType = format && !std::strcmp(format, "TrueType");
    glyphCount = static_cast<int>(face->num_glyphs);
    ctx->locks.unlock(ctx->locks.user, FZ_LOCK_FREETYPE);
    return trueType && glyphCount < 0xFFFF;
}

constexpr int kLastCode = 0xFFFF;  // codes are two bytes

// What tells font's program: its digest, or the font itself when it has no program.
std::string ProgramKey(fz_context* ctx, fz_font* font) {
    unsigned char digest[16] = {};
    if (font->buffer && RunGuarded(ctx, [&] { fz_font_digest(ctx, font, digest); }).empty())
        return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
    char own[32];
    std::snprintf(own, sizeof own, "font %p", static_cast<void*>(font));
    return own;
}

// The glyph font shows for U+0020; 0 when none.
int SpaceGlyph(fz_context* ctx, fz_font* font) {
    auto face = static_cast<FT_Face>(fz_font_ft_face(ctx, font));
    if (!face) return 0;
    ctx->locks.lock(ctx->locks.user, FZ_LOCK_FREETYPE);
    const auto glyph = static_cast<int>(FT_Get_Char_Index(face, 0x20));
    ctx->locks.unlock(ctx->locks.user, FZ_LOCK_FREETYPE);
    return glyph;
}

// The advance of glyph in thousandths of an em; -1 when it cannot be read.
float Advance(fz_context* ctx, fz_font* font, int glyph) {
    float advance = -1;
    if (!RunGuarded(ctx, [&] { advance = fz_advance_glyph(ctx, font, glyph, 0) * 1000; }).empty())
        return -1;
    return advance;
}

}  // namespace

PdfTextLayer::~PdfTextLayer() {
    for (auto& entry : byFont_) fz_drop_font(ctx_, entry.first);
}

void PdfTextLayer::BeginPage(std::vector<GlyphRunText> runs) {
    runs_ = std::move(runs);
    nextRun_ = 0;
}

// Runs are drawn mostly in the order of the markup; one drawn again (a brush used twice) or
// out of order is looked for from the start.
const GlyphRunText* PdfTextLayer::FindRun(const fz_text* text) {
    for (size_t n = 0; n < runs_.size(); ++n) {
        const size_t index = (nextRun_ + n) % runs_.size();
        if (Matches(runs_[index], text)) {
            nextRun_ = index + 1;
            return &runs_[index];
        }
    }
    return nullptr;
}

PdfTextLayer::FontCodes& PdfTextLayer::CodesOf(fz_font* font) {
    auto known = byFont_.find(font);
    if (known != byFont_.end()) return *known->second;
    auto [entry, added] = fonts_.try_emplace(ProgramKey(ctx_, font));
    FontCodes& codes = entry->second;
    if (added) {
        codes.font = font;
        codes.extendable = Extendable(ctx_, font, codes.glyphCount);
        codes.nextCode = codes.glyphCount;
    }
    byFont_.emplace(fz_keep_font(ctx_, font), &codes);
    return codes;
}

// The first text a glyph is shown for takes the glyph's own number; another text gets a code
// of its own past the glyph numbers.
int PdfTextLayer::CodeFor(fz_font* font, int glyph, const std::u32string& text) {
    FontCodes& codes = CodesOf(font);
    auto [known, first] = codes.texts.try_emplace(glyph, text);
    if (first || known->second == text) return glyph;
    return AddCode(codes, glyph, text, -1);
}

// A code past the glyph numbers for glyph standing for text, width wide (thousandths of an em;
// negative: as wide as the glyph); -1 when the font can take no more.
int PdfTextLayer::AddCode(FontCodes& codes, int glyph, const std::u32string& text, float width) {
    const long key = width < 0 ? -1 : std::lround(width * 1000);
    auto added = codes.added.find({glyph, text, key});
    if (added != codes.added.end()) return added->second;
    if (!codes.extendable || codes.nextCode > kLastCode || glyph >= codes.glyphCount) return -1;
    const int code = codes.nextCode++;
    codes.added.emplace(std::make_tuple(glyph, text, key), code);
    codes.glyphOf.emplace(code, glyph);
    codes.texts.emplace(code, text);
    if (width >= 0) codes.widthOf.emplace(code, width);
    return code;
}

bool PdfTextLayer::ShareLigature(fz_font* font, int glyph, const std::u32string& text,
                                 std::vector<GlyphCode>& codes) {
    FontCodes& own = CodesOf(font);
    if (own.space < 0) own.space = SpaceGlyph(ctx_, font);
    const auto parts = static_cast<int>(text.size());
    if (!own.extendable || own.space <= 0 || own.nextCode + parts > kLastCode + 1 ||
        glyph >= own.glyphCount) {
        return false;
    }
    const float advance = Advance(ctx_, font, glyph);
    const float space = Advance(ctx_, font, own.space);
    if (advance <= 0 || space < 0) return false;
    const float part = advance / static_cast<float>(parts);
    // text is read from the right: its last character comes first.
    for (int k = parts - 1; k >= 1; --k) {
        const int code = AddCode(own, own.space, text.substr(static_cast<size_t>(k), 1), part);
        codes.push_back({own.space, code, true, static_cast<float>(k) / static_cast<float>(parts),
                         part - space});
    }
    codes.push_back({glyph, AddCode(own, glyph, text.substr(0, 1), part), false, 0, part - advance});
    return true;
}

bool PdfTextLayer::Describe(const fz_text* text, bool clip, std::string& marking,
                            std::vector<GlyphCode>& codes) {
    codes.clear();
    ForEachGlyph(text, [&](const fz_text_item&, const fz_text_span* span) { CodesOf(span->font); });
    const GlyphRunText* run = FindRun(text);
    if (!run) return false;
    bool whole = !run->glyphByGlyph;
    bool recoded = false;
    size_t index = 0;
    ForEachGlyph(text, [&](const fz_text_item& item, const fz_text_span* span) {
        const std::u32string& own = run->glyphTexts[index++];
        if (item.gid < 0) return;
        fz_font* font = span->font;
        // A glyph standing for nothing is drawn as its outline where it has one (a clip stays
        // text: a clip of text and outlines together is not one the page can state).
        if (own.empty() && !clip && span->wmode == 0 && fz_font_ft_face(ctx_, font)) {
            codes.push_back({item.gid, kWordless});
            recoded = true;
            return;
        }
        if (run->rightToLeft && own.size() > 1 && span->wmode == 0 &&
            ShareLigature(font, item.gid, own, codes)) {
            recoded = true;
            return;
        }
        int code = CodeFor(font, item.gid, own);
        if (code < 0) {
            whole = true;
            code = item.gid;
        }
        recoded = recoded || code != item.gid;
        codes.push_back({item.gid, code});
    });
    if (!recoded) codes.clear();
    if (!whole || clip || run->text.empty()) return false;
    marking = "/Span<</ActualText<FEFF";
    for (char32_t c : run->text) AppendUtf16Hex(marking, c);
    marking += ">>>BDC\n";
    return true;
}

// The glyph map of the codes added (the others name their own glyph) and their widths.
std::string PdfTextLayer::StoreGlyphMap(pdf_document* doc, pdf_obj* font, fz_font* face,
                                        const FontCodes& codes) {
    const int last = codes.glyphOf.rbegin()->first;
    fz_buffer* map = nullptr;
    pdf_obj* stream = nullptr;
    return RunGuarded(
        ctx_,
        [&] {
            pdf_obj* descendant =
                pdf_array_get(ctx_, pdf_dict_get(ctx_, font, PDF_NAME(DescendantFonts)), 0);
            if (!pdf_name_eq(ctx_, pdf_dict_get(ctx_, descendant, PDF_NAME(Subtype)),
                             PDF_NAME(CIDFontType2))) {
                fz_throw(ctx_, FZ_ERROR_GENERIC, "a font written with added codes has no glyph map");
            }
            map = fz_new_buffer(ctx_, 2 * static_cast<size_t>(last + 1));
            auto added = codes.glyphOf.begin();
            for (int code = 0; code <= last; ++code) {
                int glyph = code < codes.glyphCount ? code : 0;
                if (added != codes.glyphOf.end() && added->first == code) glyph = (added++)->second;
                fz_append_byte(ctx_, map, glyph >> 8);
                fz_append_byte(ctx_, map, glyph & 0xFF);
            }
            // Unfiltered: the streams are deflated together before the file is written.
            stream = pdf_add_stream(ctx_, doc, map, nullptr, 0);
            pdf_dict_put(ctx_, descendant, PDF_NAME(CIDToGIDMap), stream);
            pdf_obj* widths = pdf_dict_get(ctx_, descendant, PDF_NAME(W));
            if (!pdf_is_array(ctx_, widths))
                widths = pdf_dict_put_array(ctx_, descendant, PDF_NAME(W), 8);
            for (const auto& [code, glyph] : codes.glyphOf) {
                pdf_array_push_int(ctx_, widths, code);
                pdf_obj* one = pdf_array_push_array(ctx_, widths, 1);
                auto width = codes.widthOf.find(code);
                pdf_array_push_real(ctx_, one, width != codes.widthOf.end()
                                                   ? width->second
                                                   : fz_advance_glyph(ctx_, face, glyph, 0) * 1000.0);
            }
        },
        [&] {
            pdf_drop_obj(ctx_, stream);
            fz_drop_buffer(ctx_, map);
        });
}

std::string PdfTextLayer::StoreMaps(pdf_document* doc) {
    for (const auto& [key, codes] : fonts_) {
        fz_font* font = codes.font;
        pdf_obj* ref = nullptr;
        std::string error = RunGuarded(ctx_, [&] {
            pdf_font_resource_key key;
            ref = pdf_find_font_resource(ctx_, doc, PDF_CID_FONT_RESOURCE, 0, font, &key);
        });
        if (!error.empty()) return error;
        if (!ref) continue;
        const std::vector<int> own = FontCharacters(ctx_, font);
        std::vector<CodeText> mappings;
        const std::map<int, std::u32string>& texts = codes.texts;
        auto given = texts.begin();
        const size_t count = std::max(own.size(), texts.empty() ? 0 : size_t(texts.rbegin()->first) + 1);
        for (size_t code = 0; code < count && code <= kLastCode; ++code) {
            while (given != texts.end() && static_cast<size_t>(given->first) < code) ++given;
            if (given != texts.end() && static_cast<size_t>(given->first) == code) {
                // A glyph that stands for nothing has no entry: readers then take nothing.
                if (!given->second.empty()) {
                    mappings.push_back({static_cast<unsigned>(code),
                                        std::vector<int>(given->second.begin(), given->second.end())});
                }
            } else if (code < own.size() && own[code] > 0) {
                mappings.push_back({static_cast<unsigned>(code), {own[code]}});
            }
        }
        if (!codes.glyphOf.empty()) error = StoreGlyphMap(doc, ref, font, codes);
        if (error.empty() && !mappings.empty()) error = StoreToUnicode(ctx_, doc, ref, mappings);
        pdf_drop_obj(ctx_, ref);
        if (!error.empty()) return error;
    }
    return {};
}

namespace {

// Calls visit(at, end) for the position of every four-digit code in the hex strings of content
// from offset on, with the position of its string's closing '>'; dictionaries ("<<") are
// passed over.
template <typename Visit>
void ForEachWrittenCode(const unsigned char* data, size_t length, size_t from, Visit visit) {
    for (size_t at = from; at < length; ++at) {
        if (data[at] != '<') continue;
        if (at + 1 < length && data[at + 1] == '<') {
            ++at;
            continue;
        }
        size_t end = at + 1;
        while (end < length && data[end] != '>') ++end;
        for (size_t digit = at + 1; digit + 4 <= end; digit += 4) visit(digit, end);
        at = end;
    }
}

int HexValue(const unsigned char* digits) {
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = digits[i];
        const int v = c >= '0' && c <= '9' ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (v < 0) return -1;
        value = value * 16 + v;
    }
    return value;
}

bool ChangesWidth(const GlyphCode& code) { return std::fabs(code.widthChange) > 0.0005f; }

bool StartsNumber(unsigned char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.'; }

// The position of the first byte from at on that is not white space.
size_t SkipSpace(const unsigned char* data, size_t length, size_t at) {
    while (at < length && (data[at] == ' ' || data[at] == '\n' || data[at] == '\r' || data[at] == '\t'))
        ++at;
    return at;
}

void AppendCode(fz_context* ctx, fz_buffer* out, int code) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04x", code);
    fz_append_data(ctx, out, hex, 4);
}

// A real number as the page's content writes one: no exponent, no trailing zeros.
void AppendNumber(fz_context* ctx, fz_buffer* out, double value) {
    char text[48];
    int length = std::snprintf(text, sizeof text, "%.3f", value);
    if (length <= 0 || length >= static_cast<int>(sizeof text)) length = std::snprintf(text, sizeof text, "0");
    while (length > 1 && text[length - 1] == '0') --length;
    if (text[length - 1] == '.') --length;
    fz_append_data(ctx, out, text, static_cast<size_t>(length));
}

// Writes the written text of tail (length bytes, terminated) into out with the codes given and
// the adjustments after codes of another width than their glyph's changed by as much.
void WriteRecoded(fz_context* ctx, fz_buffer* out, const unsigned char* tail, size_t length,
                  const std::vector<GlyphCode>& codes) {
    size_t seen = 0;
    for (size_t at = 0; at < length;) {
        if (tail[at] != '<' || (at + 1 < length && tail[at + 1] == '<')) {
            const size_t run = tail[at] == '<' ? 2 : 1;
            fz_append_data(ctx, out, tail + at, run);
            at += run;
            continue;
        }
        size_t end = at + 1;
        while (end < length && tail[end] != '>') ++end;
        fz_append_byte(ctx, out, '<');
        float pending = 0;
        size_t digit = at + 1;
        for (; digit + 4 <= end; digit += 4) {
            const GlyphCode& code = codes[seen++ % codes.size()];
            AppendCode(ctx, out, code.code);
            if (!ChangesWidth(code)) continue;
            if (digit + 8 <= end) {
                // Within the string: it is split for the adjustment.
                fz_append_byte(ctx, out, '>');
                AppendNumber(ctx, out, code.widthChange);
                fz_append_byte(ctx, out, '<');
            } else {
                pending = code.widthChange;
            }
        }
        fz_append_data(ctx, out, tail + digit, end - digit);  // a stray digit, kept as it was
        fz_append_byte(ctx, out, '>');
        at = end + 1;
        if (pending == 0) continue;
        const size_t next = SkipSpace(tail, length, at);
        if (next < length && StartsNumber(tail[next])) {
            char* stop = nullptr;
            const double value = std::strtod(reinterpret_cast<const char*>(tail + next), &stop);
            AppendNumber(ctx, out, value + pending);
            at = static_cast<size_t>(reinterpret_cast<const unsigned char*>(stop) - tail);
        } else {
            AppendNumber(ctx, out, pending);
        }
    }
}

}  // namespace

bool RecodeWrittenText(fz_context* ctx, fz_buffer* content, size_t from,
                       const std::vector<GlyphCode>& codes) {
    if (codes.empty()) return false;
    unsigned char* data = nullptr;
    const size_t length = fz_buffer_storage(ctx, content, &data);
    if (from > length) return false;
    // First make sure every string holds the glyphs in turn, and that a string with a code of
    // another width is in an array of strings and adjustments, then write.
    size_t seen = 0;
    bool same = true;
    bool widths = false;
    ForEachWrittenCode(data, length, from, [&](size_t at, size_t end) {
        if (!same) return;
        const GlyphCode& code = codes[seen++ % codes.size()];
        if (HexValue(data + at) != code.glyph) same = false;
        if (!ChangesWidth(code)) return;
        widths = true;
        const size_t next = SkipSpace(data, length, end + 1);
        if (next >= length || !(StartsNumber(data[next]) || data[next] == '<' || data[next] == ']'))
            same = false;
    });
    if (!same || seen == 0 || seen % codes.size() != 0) return false;
    if (!widths) {
        seen = 0;
        ForEachWrittenCode(data, length, from, [&](size_t at, size_t) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%04x", codes[seen++ % codes.size()].code);
            std::memcpy(data + at, hex, 4);
        });
        return true;
    }
    fz_buffer* tail = fz_new_buffer_from_copied_data(ctx, data + from, length - from);
    RunWithCleanup(
        ctx,
        [&] {
            fz_terminate_buffer(ctx, tail);
            content->len = from;
            WriteRecoded(ctx, content, tail->data, length - from, codes);
        },
        [&] { fz_drop_buffer(ctx, tail); });
    return true;
}

}  // namespace engine
