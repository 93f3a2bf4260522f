#include "engine/pdf/pdf_links.h"

#include <cstring>
#include <vector>

#include "engine/xps/link_targets.h"
#include "engine/xps/xps_source.h"

namespace engine {
namespace {

// A link's area on the library's page (points, y downwards) on the PDF page (y upwards).
fz_rect PdfRectOf(fz_rect area, fz_rect mediaBox) {
    return fz_make_rect(mediaBox.x0 + area.x0, mediaBox.y1 - area.y1, mediaBox.x0 + area.x1,
                        mediaBox.y1 - area.y0);
}

// Adds one link annotation to pageObject. action or destination is set; both are taken over.
void AppendAnnotation(fz_context* ctx, pdf_document* pdf, pdf_obj* pageObject, fz_rect rect,
                      pdf_obj* action, pdf_obj* destination) {
    pdf_obj* annotation = nullptr;
    fz_var(annotation);
    fz_try(ctx) {
        annotation = pdf_new_dict(ctx, pdf, 6);
        pdf_dict_put(ctx, annotation, PDF_NAME(Type), PDF_NAME(Annot));
        pdf_dict_put(ctx, annotation, PDF_NAME(Subtype), PDF_NAME(Link));
        pdf_dict_put_rect(ctx, annotation, PDF_NAME(Rect), rect);
        // XPS draws nothing around a link.
        pdf_obj* border = pdf_dict_put_array(ctx, annotation, PDF_NAME(Border), 3);
        for (int i = 0; i < 3; ++i) pdf_array_push_int(ctx, border, 0);
        if (action) pdf_dict_put(ctx, annotation, PDF_NAME(A), action);
        if (destination) pdf_dict_put(ctx, annotation, PDF_NAME(Dest), destination);
        pdf_dict_put(ctx, annotation, PDF_NAME(P), pageObject);
        pdf_obj* annots = pdf_dict_get(ctx, pageObject, PDF_NAME(Annots));
        if (!pdf_is_array(ctx, annots))
            annots = pdf_dict_put_array(ctx, pageObject, PDF_NAME(Annots), 4);
        pdf_array_push_drop(ctx, annots, pdf_add_object(ctx, pdf, annotation));
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, annotation);
        pdf_drop_obj(ctx, action);
        pdf_drop_obj(ctx, destination);
    }
    fz_catch(ctx) { fz_rethrow(ctx); }
}

pdf_obj* NewUriAction(fz_context* ctx, pdf_document* pdf, const char* uri) {
    pdf_obj* action = pdf_new_dict(ctx, pdf, 2);
    fz_try(ctx) {
        pdf_dict_put(ctx, action, PDF_NAME(S), PDF_NAME(URI));
        pdf_dict_put_string(ctx, action, PDF_NAME(URI), uri, std::strlen(uri));
    }
    fz_catch(ctx) {
        pdf_drop_obj(ctx, action);
        fz_rethrow(ctx);
    }
    return action;
}

// One link over area (points on the library's page) to uri; nothing when uri leads nowhere
// in the document. Throws the library's errors.
void AddLink(fz_context* ctx, fz_document* doc, pdf_document* pdf, const DocumentLayout& layout,
             int pageCount, pdf_obj* pageObject, fz_rect mediaBox, fz_rect area, const char* uri) {
    const fz_rect rect = PdfRectOf(area, mediaBox);
    if (fz_is_external_link(ctx, uri)) {
        AppendAnnotation(ctx, pdf, pageObject, rect, NewUriAction(ctx, pdf, uri), nullptr);
        return;
    }
    LinkTarget target;
    if (!ResolveInternalTarget(ctx, doc, layout, pageCount, uri, target)) return;
    AppendAnnotation(ctx, pdf, pageObject, rect, nullptr, NewDestination(ctx, pdf, target));
}

// Adds the links of one page; false when the library failed (its message is the one caught).
bool AddLinksOfPage(fz_context* ctx, fz_document* doc, pdf_document* pdf,
                    const DocumentLayout& layout, int pageCount, int index) {
    fz_page* page = nullptr;
    fz_link* links = nullptr;
    fz_var(page);
    fz_var(links);
    // A page the library cannot load was reported when it was drawn; it has no links.
    fz_try(ctx) { page = fz_load_page(ctx, doc, index); }
    fz_catch(ctx) { return true; }
    fz_try(ctx) { links = fz_load_links(ctx, page); }
    fz_catch(ctx) { links = nullptr; }
    // The library lists a page's links last first; the annotations follow the page.
    std::vector<fz_link*> ordered;
    for (fz_link* link = links; link; link = link->next) {
        if (link->uri && !fz_is_empty_rect(link->rect)) ordered.insert(ordered.begin(), link);
    }
    const PageLayout* own = layout.Page(index);
    bool ok = true;
    fz_var(ok);
    fz_try(ctx) {
        pdf_obj* pageObject = pdf_lookup_page_obj(ctx, pdf, index);
        const fz_rect mediaBox = PdfPageBox(ctx, pdf, index);
        for (fz_link* link : ordered) {
            AddLink(ctx, doc, pdf, layout, pageCount, pageObject, mediaBox, link->rect, link->uri);
        }
        for (size_t i = 0; own && i < own->canvasLinks.size(); ++i) {
            AddLink(ctx, doc, pdf, layout, pageCount, pageObject, mediaBox,
                    own->canvasLinks[i].area, own->canvasLinks[i].uri.c_str());
        }
    }
    fz_always(ctx) {
        fz_drop_link(ctx, links);
        fz_drop_page(ctx, page);
    }
    fz_catch(ctx) { ok = false; }
    return ok;
}

}  // namespace

bool AddPageLinks(fz_context* ctx, fz_document* doc, pdf_document* pdf,
                  const DocumentLayout& layout, int pageCount, std::string& error) {
    for (int index = 0; index < pageCount; ++index) {
        if (!AddLinksOfPage(ctx, doc, pdf, layout, pageCount, index)) {
            error = "page " + std::to_string(index + 1) + ": " + CaughtMessage(ctx);
            return false;
        }
    }
    return true;
}

}  // namespace engine
