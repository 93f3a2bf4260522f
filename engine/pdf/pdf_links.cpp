#include "engine/pdf/pdf_links.h"

#include <cstring>
#include <vector>

#include "engine/runtime/mupdf_guard.h"
#include "engine/xps/link_targets.h"

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
    RunWithCleanup(
        ctx,
        [&] {
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
        },
        [&] {
            pdf_drop_obj(ctx, annotation);
            pdf_drop_obj(ctx, action);
            pdf_drop_obj(ctx, destination);
        });
}

pdf_obj* NewUriAction(fz_context* ctx, pdf_document* pdf, const char* uri) {
    pdf_obj* action = pdf_new_dict(ctx, pdf, 2);
    RunUndoingOnFailure(
        ctx,
        [&] {
            pdf_dict_put(ctx, action, PDF_NAME(S), PDF_NAME(URI));
            pdf_dict_put_string(ctx, action, PDF_NAME(URI), uri, std::strlen(uri));
        },
        [&] { pdf_drop_obj(ctx, action); });
    return action;
}

// The links a document had that the PDF does not keep.
struct LeftOutLinks {
    int count = 0;
    std::string first;  // as written, made fit for one line
};

// One link over area (points on the library's page) to uri; nothing when uri leads nowhere
// in the document, or may not be kept (counted in leftOut). Empty, or the library's error text.
std::string AddLink(fz_context* ctx, fz_document* doc, pdf_document* pdf,
                    const DocumentLayout& layout, int pageCount, pdf_obj* pageObject,
                    fz_rect mediaBox, fz_rect area, const char* uri, LeftOutLinks& leftOut) {
    const fz_rect rect = PdfRectOf(area, mediaBox);
    const LinkKind kind = ClassifyLink(uri);
    if (kind == LinkKind::LeftOut) {
        if (leftOut.count++ == 0) {
            constexpr size_t kLongestShown = 80;
            for (const char* c = uri; *c != '\0' && leftOut.first.size() < kLongestShown; ++c)
                leftOut.first += static_cast<unsigned char>(*c) < 0x20 ? '?' : *c;
        }
        return {};
    }
    if (kind == LinkKind::Address) {
        return RunGuarded(ctx, [&] {
            AppendAnnotation(ctx, pdf, pageObject, rect, NewUriAction(ctx, pdf, uri), nullptr);
        });
    }
    LinkTarget target;
    if (!ResolveInternalTarget(ctx, doc, layout, pageCount, uri, target)) return {};
    return RunGuarded(ctx, [&] {
        AppendAnnotation(ctx, pdf, pageObject, rect, nullptr, NewDestination(ctx, pdf, target));
    });
}

// Adds the links of one page. Empty, or the library's error text.
std::string AddLinksOfPage(fz_context* ctx, fz_document* doc, pdf_document* pdf,
                           const DocumentLayout& layout, int pageCount, int index, LeftOutLinks& leftOut) {
    fz_page* page = nullptr;
    fz_link* links = nullptr;
    // A page the library cannot load was reported when it was drawn; it has no links.
    if (!RunGuarded(ctx, [&] { page = fz_load_page(ctx, doc, index); }).empty()) return {};
    const PageLayout* own = layout.Page(index);
    // The library's reading of links recurses as deep as the elements nest (pdf_output.cpp
    // reports such a page).
    const bool tooDeep = own && own->deeperThanWalked;
    if (tooDeep || !RunGuarded(ctx, [&] { links = fz_load_links(ctx, page); }).empty()) links = nullptr;
    // The library lists a page's links last first; the annotations follow the page.
    std::vector<fz_link*> ordered;
    for (fz_link* link = links; link; link = link->next) {
        if (link->uri && !fz_is_empty_rect(link->rect)) ordered.insert(ordered.begin(), link);
    }
    pdf_obj* pageObject = nullptr;
    fz_rect mediaBox = fz_empty_rect;
    std::string error = RunGuarded(ctx, [&] {
        pageObject = pdf_lookup_page_obj(ctx, pdf, index);
        mediaBox = PdfPageBox(ctx, pdf, index);
    });
    for (size_t i = 0; error.empty() && i < ordered.size(); ++i) {
        error = AddLink(ctx, doc, pdf, layout, pageCount, pageObject, mediaBox, ordered[i]->rect,
                        ordered[i]->uri, leftOut);
    }
    for (size_t i = 0; error.empty() && own && i < own->canvasLinks.size(); ++i) {
        error = AddLink(ctx, doc, pdf, layout, pageCount, pageObject, mediaBox,
                        own->canvasLinks[i].area, own->canvasLinks[i].uri.c_str(), leftOut);
    }
    fz_drop_link(ctx, links);
    fz_drop_page(ctx, page);
    return error;
}

}  // namespace

bool AddPageLinks(fz_context* ctx, fz_document* doc, pdf_document* pdf,
                  const DocumentLayout& layout, int pageCount, std::string& error, std::string& leftOutNote) {
    LeftOutLinks leftOut;
    for (int index = 0; index < pageCount; ++index) {
        const std::string failure = AddLinksOfPage(ctx, doc, pdf, layout, pageCount, index, leftOut);
        if (!failure.empty()) {
            error = "page " + std::to_string(index + 1) + ": " + failure;
            return false;
        }
    }
    if (leftOut.count > 0) {
        leftOutNote = std::to_string(leftOut.count) + (leftOut.count == 1 ? " link" : " links") +
                      " left out: only http, https, ftp and mailto addresses and places in this document "
                      "become links (first: " + leftOut.first + ")";
    }
    return true;
}

}  // namespace engine
