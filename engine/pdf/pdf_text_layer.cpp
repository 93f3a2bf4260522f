#include "engine/pdf/pdf_text_layer.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <utility>

#include "engine/pdf/pdf_to_unicode.h"
#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

// Calls visit(item, font) for every glyph of text, in order.
template <typename Visit>
void ForEachGlyph(const fz_text* text, Visit visit) {
    for (const fz_text_span* span = text->head; span; span = span->next) {
        for (int i = 0; i < span->len; ++i) visit(span->items[i], span->font);
    }
}

bool Matches(const GlyphRunText& run, const fz_text* text) {
    size_t index = 0;
    bool same = true;
    ForEachGlyph(text, [&](const fz_text_item& item, fz_font*) {
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

}  // namespace

PdfTextLayer::~PdfTextLayer() {
    for (auto& entry : glyphs_) fz_drop_font(ctx_, entry.first);
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

bool PdfTextLayer::Describe(const fz_text* text, bool clip, std::string& marking) {
    ForEachGlyph(text, [&](const fz_text_item&, fz_font* font) {
        if (glyphs_.try_emplace(font).second) fz_keep_font(ctx_, font);
    });
    const GlyphRunText* run = FindRun(text);
    if (!run) return false;
    bool whole = !run->glyphByGlyph;
    size_t index = 0;
    ForEachGlyph(text, [&](const fz_text_item& item, fz_font* font) {
        const std::u32string& own = run->glyphTexts[index++];
        if (own.empty() || item.gid < 0) return;
        auto [known, added] = glyphs_[font].try_emplace(item.gid, own);
        if (!added && known->second != own) whole = true;
    });
    if (!whole || clip || run->text.empty()) return false;
    marking = "/Span<</ActualText<FEFF";
    for (char32_t c : run->text) AppendUtf16Hex(marking, c);
    marking += ">>>BDC\n";
    return true;
}

std::string PdfTextLayer::StoreMaps(pdf_document* doc) {
    for (const auto& [font, texts] : glyphs_) {
        pdf_obj* ref = nullptr;
        std::string error = RunGuarded(ctx_, [&] {
            pdf_font_resource_key key;
            ref = pdf_find_font_resource(ctx_, doc, PDF_CID_FONT_RESOURCE, 0, font, &key);
        });
        if (!error.empty()) return error;
        if (!ref) continue;
        const std::vector<int> own = FontCharacters(ctx_, font);
        std::vector<CodeText> mappings;
        auto given = texts.begin();
        const size_t count = std::max(own.size(), texts.empty() ? 0 : size_t(texts.rbegin()->first) + 1);
        for (size_t gid = 0; gid < count && gid < 0x10000; ++gid) {
            while (given != texts.end() && static_cast<size_t>(given->first) < gid) ++given;
            if (given != texts.end() && static_cast<size_t>(given->first) == gid) {
                mappings.push_back({static_cast<unsigned>(gid),
                                    std::vector<int>(given->second.begin(), given->second.end())});
            } else if (gid < own.size() && own[gid] > 0) {
                mappings.push_back({static_cast<unsigned>(gid), {own[gid]}});
            }
        }
        if (!mappings.empty()) error = StoreToUnicode(ctx_, doc, ref, mappings);
        pdf_drop_obj(ctx_, ref);
        if (!error.empty()) return error;
    }
    return {};
}

}  // namespace engine
