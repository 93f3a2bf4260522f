#include "engine/pdf/page_boxes.h"

namespace engine {

fz_rect PageMediaBox(const PageLayout* layout, fz_rect libraryBounds) {
    if (!layout) return libraryBounds;
    // Computed in double and rounded once, so 793.7 units stay 595.275 pt.
    return fz_make_rect(0, 0, static_cast<float>(layout->width * kPointsPerXpsUnit),
                        static_cast<float>(layout->height * kPointsPerXpsUnit));
}

fz_rect PdfBoxOf(const XpsBox& box, fz_rect mediaBox) {
    const double top = mediaBox.y1;
    fz_rect pdfBox =
        fz_make_rect(static_cast<float>(mediaBox.x0 + box.x * kPointsPerXpsUnit),
                     static_cast<float>(top - (box.y + box.height) * kPointsPerXpsUnit),
                     static_cast<float>(mediaBox.x0 + (box.x + box.width) * kPointsPerXpsUnit),
                     static_cast<float>(top - box.y * kPointsPerXpsUnit));
    // A box may not reach beyond the media box; a bleed usually does.
    return fz_intersect_rect(pdfBox, mediaBox);
}

void StorePageBoxes(fz_context* ctx, pdf_document* pdf, pdf_obj* pageObject,
                    const PageLayout* layout, fz_rect mediaBox) {
    if (!layout) return;
    if (layout->bleedBox) {
        pdf_dict_put_drop(ctx, pageObject, PDF_NAME(BleedBox),
                          pdf_new_rect(ctx, pdf, PdfBoxOf(*layout->bleedBox, mediaBox)));
    }
    if (layout->contentBox) {
        const fz_rect content = PdfBoxOf(*layout->contentBox, mediaBox);
        pdf_dict_put_drop(ctx, pageObject, PDF_NAME(TrimBox), pdf_new_rect(ctx, pdf, content));
        pdf_dict_put_drop(ctx, pageObject, PDF_NAME(ArtBox), pdf_new_rect(ctx, pdf, content));
    }
}

}  // namespace engine
