#include "engine/pdf/pdf_text_parts.h"

#include <algorithm>

#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

void ShowItem(fz_context* ctx, fz_text* text, const fz_text_span* span, const fz_text_item& item) {
    fz_matrix trm = span->trm;
    trm.e = item.x;
    trm.f = item.y;
    fz_show_glyph(ctx, text, span->font, trm, item.gid, item.ucs, span->wmode, span->bidi_level,
                  static_cast<fz_bidi_direction>(span->markup_dir),
                  static_cast<fz_text_language>(span->language));
}

// An invisible glyph, at its share of the advance of the glyph item shows.
void ShowInserted(fz_context* ctx, fz_text* text, const fz_text_span* span,
                  const fz_text_item& item, const GlyphCode& inserted) {
    const float advance = fz_advance_glyph(ctx, span->font, item.gid, 0) * inserted.offset;
    fz_matrix trm = span->trm;
    trm.e = item.x + advance * trm.a;
    trm.f = item.y + advance * trm.b;
    fz_show_glyph(ctx, text, span->font, trm, inserted.glyph, ' ', span->wmode, span->bidi_level,
                  static_cast<fz_bidi_direction>(span->markup_dir),
                  static_cast<fz_text_language>(span->language));
}

// Copies one path into another, point for point.
void MoveTo(fz_context* ctx, void* to, float x, float y) {
    fz_moveto(ctx, static_cast<fz_path*>(to), x, y);
}
void LineTo(fz_context* ctx, void* to, float x, float y) {
    fz_lineto(ctx, static_cast<fz_path*>(to), x, y);
}
void CurveTo(fz_context* ctx, void* to, float x1, float y1, float x2, float y2, float x3,
             float y3) {
    fz_curveto(ctx, static_cast<fz_path*>(to), x1, y1, x2, y2, x3, y3);
}
void ClosePath(fz_context* ctx, void* to) { fz_closepath(ctx, static_cast<fz_path*>(to)); }
void QuadTo(fz_context* ctx, void* to, float x1, float y1, float x2, float y2) {
    fz_quadto(ctx, static_cast<fz_path*>(to), x1, y1, x2, y2);
}

const fz_path_walker kAppend = {MoveTo, LineTo,  CurveTo, ClosePath,
                                QuadTo, nullptr, nullptr, nullptr};

}  // namespace

TextParts ArrangeText(fz_context* ctx, const fz_text* text, const std::vector<GlyphCode>& codes) {
    TextParts parts;
    if (std::none_of(codes.begin(), codes.end(),
                     [](const GlyphCode& c) { return c.code == kWordless || c.inserted; }))
        return parts;
    RunUndoingOnFailure(
        ctx,
        [&] {
            parts.worded = fz_new_text(ctx);
            parts.wordless = fz_new_text(ctx);
            size_t index = 0;
            for (const fz_text_span* span = text->head; span; span = span->next) {
                for (int i = 0; i < span->len; ++i) {
                    const fz_text_item& item = span->items[i];
                    bool wordless = false;
                    if (item.gid >= 0) {
                        for (; index < codes.size() && codes[index].inserted; ++index)
                            ShowInserted(ctx, parts.worded, span, item, codes[index]);
                        wordless = index < codes.size() && codes[index++].code == kWordless;
                    }
                    ShowItem(ctx, wordless ? parts.wordless : parts.worded, span, item);
                }
            }
        },
        [&] { DropTextParts(ctx, parts); });
    return parts;
}

void DropTextParts(fz_context* ctx, TextParts& parts) {
    fz_drop_text(ctx, parts.worded);
    fz_drop_text(ctx, parts.wordless);
    parts = {};
}

void KeepWorded(std::vector<GlyphCode>& codes) {
    std::erase_if(codes, [](const GlyphCode& c) { return c.code == kWordless; });
}

fz_path* GlyphOutlines(fz_context* ctx, const fz_text* text) {
    fz_path* outlines = nullptr;
    fz_path* one = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            for (const fz_text_span* span = text->head; span; span = span->next) {
                for (int i = 0; i < span->len; ++i) {
                    fz_matrix trm = span->trm;
                    trm.e = span->items[i].x;
                    trm.f = span->items[i].y;
                    one = fz_outline_glyph(ctx, span->font, span->items[i].gid, trm);
                    if (!one) continue;
                    if (!outlines) outlines = fz_new_path(ctx);
                    fz_walk_path(ctx, one, &kAppend, outlines);
                    fz_drop_path(ctx, one);
                    one = nullptr;
                }
            }
            // Glyphs without contours (spaces) give nothing to draw.
            if (outlines && fz_is_empty_rect(fz_bound_path(ctx, outlines, nullptr, fz_identity))) {
                fz_drop_path(ctx, outlines);
                outlines = nullptr;
            }
        },
        [&] { fz_drop_path(ctx, one); }, [&] { fz_drop_path(ctx, outlines); });
    return outlines;
}

}  // namespace engine
