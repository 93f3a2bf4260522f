#include "engine/xps/text_style_simulation.h"

#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

constexpr float kItalicSlant = 0.36397f;  // tan 20 degrees, as the renderer slants
constexpr float kBoldGrowth = 0.015f;  // stroke width, in em, matching the renderer's emboldening

bool IsFakeItalic(fz_font* font) { return font && fz_font_flags(font)->fake_italic; }
bool IsFakeBold(fz_font* font) { return font && fz_font_flags(font)->fake_bold; }

// Adds the glyphs of span to text, each with matrix made from trm.
void ShowSpan(fz_context* ctx, fz_text* text, const fz_text_span* span, fz_matrix trm) {
    for (int i = 0; i < span->len; ++i) {
        const fz_text_item& item = span->items[i];
        trm.e = item.x;
        trm.f = item.y;
        fz_show_glyph(ctx, text, span->font, trm, item.gid, item.ucs, span->wmode, span->bidi_level,
                      static_cast<fz_bidi_direction>(span->markup_dir),
                      static_cast<fz_text_language>(span->language));
    }
}

float BoldWidth(const fz_text_span* span) { return kBoldGrowth * fz_matrix_expansion(span->trm); }

fz_stroke_state* NewBoldStroke(fz_context* ctx, float width) {
    fz_stroke_state* stroke = fz_new_stroke_state(ctx);
    stroke->linewidth = width;
    stroke->linejoin = FZ_LINEJOIN_ROUND;
    return stroke;
}

// Strokes a lone point at the first glyph of text, which marks nothing.
void StrokeLonePoint(fz_context* ctx, fz_device* device, const fz_text* text,
                     const fz_stroke_state* stroke, fz_matrix ctm, fz_colorspace* cs,
                     const float* colour, float alpha, fz_color_params params) {
    float x = 0, y = 0;
    for (const fz_text_span* span = text->head; span; span = span->next) {
        if (span->len == 0) continue;
        x = span->items[0].x;
        y = span->items[0].y;
        break;
    }
    fz_path* point = fz_new_path(ctx);
    RunWithCleanup(
        ctx,
        [&] {
            fz_moveto(ctx, point, x, y);
            fz_stroke_path(ctx, device, point, stroke, ctm, cs, colour, alpha, params);
        },
        [&] { fz_drop_path(ctx, point); });
}

void StrokeSpan(fz_context* ctx, fz_device* device, const fz_text_span* span, fz_matrix ctm,
                fz_colorspace* cs, const float* colour, float alpha, fz_color_params params) {
    fz_text* one = fz_new_text(ctx);
    fz_stroke_state* stroke = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            ShowSpan(ctx, one, span, span->trm);
            stroke = NewBoldStroke(ctx, BoldWidth(span));
            // The PDF output device writes text strokes in the line width it set last, not in the
            // one it is given; stroking a lone point sets it.
            StrokeLonePoint(ctx, device, one, stroke, ctm, cs, colour, alpha, params);
            fz_stroke_text(ctx, device, one, stroke, ctm, cs, colour, alpha, params);
        },
        [&] {
            fz_drop_stroke_state(ctx, stroke);
            fz_drop_text(ctx, one);
        });
}

}  // namespace

bool HasSimulatedStyle(const fz_text* text) {
    for (const fz_text_span* span = text->head; span; span = span->next) {
        if (IsFakeItalic(span->font) || IsFakeBold(span->font)) return true;
    }
    return false;
}

fz_text* WithItalicSlant(fz_context* ctx, const fz_text* text) {
    fz_text* copy = fz_new_text(ctx);
    RunUndoingOnFailure(
        ctx,
        [&] {
            for (const fz_text_span* span = text->head; span; span = span->next) {
                fz_matrix trm = span->trm;
                if (IsFakeItalic(span->font))
                    trm = fz_concat(fz_make_matrix(1, 0, kItalicSlant, 1, 0, 0), trm);
                ShowSpan(ctx, copy, span, trm);
            }
        },
        [&] { fz_drop_text(ctx, copy); });
    return copy;
}

float UniformBoldWidth(const fz_text* text) {
    float width = 0;
    for (const fz_text_span* span = text->head; span; span = span->next) {
        if (span->len == 0) continue;
        if (!IsFakeBold(span->font)) return 0;
        if (width != 0 && BoldWidth(span) != width) return 0;
        width = BoldWidth(span);
    }
    return width;
}

void SetBoldStroke(fz_context* ctx, fz_device* device, const fz_text* text, float width,
                   fz_matrix ctm, fz_colorspace* cs, const float* colour, float alpha,
                   fz_color_params params) {
    fz_stroke_state* stroke = NewBoldStroke(ctx, width);
    RunWithCleanup(
        ctx, [&] { StrokeLonePoint(ctx, device, text, stroke, ctm, cs, colour, alpha, params); },
        [&] { fz_drop_stroke_state(ctx, stroke); });
}

void StrokeSimulatedBold(fz_context* ctx, fz_device* device, const fz_text* text, fz_matrix ctm,
                         fz_colorspace* cs, const float* colour, float alpha,
                         fz_color_params params) {
    for (const fz_text_span* span = text->head; span; span = span->next) {
        if (IsFakeBold(span->font) && span->len > 0) {
            StrokeSpan(ctx, device, span, ctm, cs, colour, alpha, params);
        }
    }
}

}  // namespace engine
