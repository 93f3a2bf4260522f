#include "engine/pdf/pdf_font_widths.h"

#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

// Calls visit(cid) for every glyph listed in a W array, in its order.
template <typename Visit>
void ForEachListedCid(fz_context* ctx, pdf_obj* widths, Visit visit) {
    const int n = pdf_array_len(ctx, widths);
    for (int i = 0; i < n;) {
        const int first = pdf_to_int(ctx, pdf_array_get(ctx, widths, i));
        pdf_obj* next = pdf_array_get(ctx, widths, i + 1);
        if (pdf_is_array(ctx, next)) {
            const int count = pdf_array_len(ctx, next);
            for (int k = 0; k < count; ++k) visit(first + k);
            i += 2;
        } else {
            const int last = pdf_to_int(ctx, next);
            for (int cid = first; cid <= last && cid - first < 65536; ++cid) visit(cid);
            i += 3;
        }
    }
}

// A W array of the same glyphs with the font's exact advances, consecutive glyphs in one run.
pdf_obj* ExactWidths(fz_context* ctx, pdf_document* doc, fz_font* font, pdf_obj* widths) {
    pdf_obj* exact = pdf_new_array(ctx, doc, pdf_array_len(ctx, widths));
    RunUndoingOnFailure(
        ctx,
        [&] {
            pdf_obj* run = nullptr;
            int previous = -2;
            ForEachListedCid(ctx, widths, [&](int cid) {
                if (cid != previous + 1 || !run) {
                    pdf_array_push_int(ctx, exact, cid);
                    run = pdf_array_push_array(ctx, exact, 8);
                }
                pdf_array_push_real(ctx, run, fz_advance_glyph(ctx, font, cid, 0) * 1000.0);
                previous = cid;
            });
        },
        [&] { pdf_drop_obj(ctx, exact); });
    return exact;
}

}  // namespace

PdfFontWidths::~PdfFontWidths() {
    for (fz_font* font : fonts_) fz_drop_font(ctx_, font);
}

void PdfFontWidths::Note(fz_font* font) {
    if (font && fonts_.find(font) == fonts_.end()) fonts_.insert(fz_keep_font(ctx_, font));
}

void PdfFontWidths::RepairFont(fz_context* ctx, pdf_document* doc, fz_font* font, pdf_obj* ref) {
    pdf_obj* descendant = pdf_array_get(ctx, pdf_dict_get(ctx, ref, PDF_NAME(DescendantFonts)), 0);
    pdf_obj* widths = pdf_dict_get(ctx, descendant, PDF_NAME(W));
    // Glyph numbers are character codes only under the identity mapping.
    pdf_obj* mapping = pdf_dict_get(ctx, descendant, PDF_NAME(CIDToGIDMap));
    if (pdf_is_array(ctx, widths) && (!mapping || pdf_name_eq(ctx, mapping, PDF_NAME(Identity)))) {
        pdf_dict_put_drop(ctx, descendant, PDF_NAME(W), ExactWidths(ctx, doc, font, widths));
    }
}

std::string PdfFontWidths::Repair(pdf_document* doc) {
    for (fz_font* font : fonts_) {
        const std::string error = RunGuarded(ctx_, [&] {
            pdf_font_resource_key key;
            pdf_obj* ref = pdf_find_font_resource(ctx_, doc, PDF_CID_FONT_RESOURCE, 0, font, &key);
            if (!ref) return;
            // The reference found is ours to drop.
            RunWithCleanup(
                ctx_, [&] { RepairFont(ctx_, doc, font, ref); }, [&] { pdf_drop_obj(ctx_, ref); });
        });
        if (!error.empty()) return error;
    }
    return {};
}

}  // namespace engine
