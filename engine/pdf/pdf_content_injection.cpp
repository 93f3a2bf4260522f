#include "engine/pdf/pdf_content_injection.h"

#include <cmath>

#include "engine/runtime/mupdf_guard.h"

namespace engine {

void InjectUnderClip(fz_context* ctx, fz_device* target, fz_buffer* contents, fz_rect clipRect,
                     fz_matrix ctm, const char* ops) {
    fz_path* path = fz_new_path(ctx);
    RunWithCleanup(
        ctx,
        [&] {
            fz_rectto(ctx, path, clipRect.x0, clipRect.y0, clipRect.x1, clipRect.y1);
            // The device answers a clip with "q", the transformation as "cm", the path and "W n";
            // its pop answers with "Q", which also undoes whatever ops changed.
            fz_clip_path(ctx, target, path, 0, ctm, fz_infinite_rect);
            fz_append_string(ctx, contents, "q\n");
            fz_append_string(ctx, contents, ops);
            fz_append_string(ctx, contents, "Q\n");
            fz_pop_clip(ctx, target);
        },
        [&] { fz_drop_path(ctx, path); });
}

namespace {

// Opens a clip to rect through the device, which first ends the text object it may have open.
void OpenRectClip(fz_context* ctx, fz_device* target, fz_rect rect) {
    fz_path* path = fz_new_path(ctx);
    RunWithCleanup(
        ctx,
        [&] {
            fz_rectto(ctx, path, rect.x0, rect.y0, rect.x1, rect.y1);
            fz_clip_path(ctx, target, path, 0, fz_identity, fz_infinite_rect);
        },
        [&] { fz_drop_path(ctx, path); });
}

}  // namespace

void OpenMarkedContent(fz_context* ctx, fz_device* target, fz_buffer* contents, fz_rect visible,
                       const char* marking) {
    OpenRectClip(ctx, target, visible);
    fz_append_string(ctx, contents, marking);
}

void CloseMarkedContent(fz_context* ctx, fz_device* target, fz_buffer* contents, fz_rect visible) {
    // The device keeps its text object open until something else is drawn: an empty clip
    // ends it before the mark does.
    OpenRectClip(ctx, target, visible);
    fz_pop_clip(ctx, target);
    fz_append_string(ctx, contents, "EMC\n");
    fz_pop_clip(ctx, target);
}

void AddNamedResource(fz_context* ctx, pdf_obj* resources, pdf_obj* category, const char* name,
                      pdf_obj* ref) {
    pdf_obj* group = pdf_dict_get(ctx, resources, category);
    if (!pdf_is_dict(ctx, group)) group = pdf_dict_put_dict(ctx, resources, category, 4);
    pdf_dict_puts(ctx, group, name, ref);
}

pdf_obj* AddOpacityState(fz_context* ctx, pdf_document* doc, float alpha) {
    pdf_obj* state = pdf_new_dict(ctx, doc, 3);
    pdf_obj* ref = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            pdf_dict_put(ctx, state, PDF_NAME(Type), PDF_NAME(ExtGState));
            pdf_dict_put_real(ctx, state, PDF_NAME(ca), alpha);
            pdf_dict_put_real(ctx, state, PDF_NAME(CA), alpha);
            ref = pdf_add_object(ctx, doc, state);
        },
        [&] { pdf_drop_obj(ctx, state); });
    return ref;
}

fz_rect InverseTransformedRect(fz_rect rect, fz_matrix ctm) {
    float determinant = ctm.a * ctm.d - ctm.b * ctm.c;
    if (!std::isfinite(determinant) || std::fabs(determinant) < 1e-12f) return fz_empty_rect;
    if (fz_is_infinite_rect(rect)) return fz_infinite_rect;
    return fz_transform_rect(rect, fz_invert_matrix(ctm));
}

}  // namespace engine
