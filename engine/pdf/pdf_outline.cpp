#include "engine/pdf/pdf_outline.h"

#include <vector>

#include "engine/runtime/engine_errors.h"
#include "engine/runtime/mupdf_guard.h"
#include "engine/xps/document_outline.h"
#include "engine/xps/link_targets.h"

namespace engine {
namespace {

// A bookmark, or the outline's root, that may still receive children.
struct OpenEntry {
    pdf_obj* entry;
    pdf_obj* lastChild;  // nullptr: none yet
    int shown;           // bookmarks below it, all of them open
};

// Writes items (in reading order, with depths) under root, an indirect object. Every entry made
// is kept in made, for the caller to drop. Returns the number of bookmarks below root; -1 with
// error set when the library failed.
int WriteItems(fz_context* ctx, fz_document* doc, pdf_document* pdf, const DocumentLayout& layout,
               int pageCount, const std::vector<OutlineItem>& items, pdf_obj* root,
               std::vector<pdf_obj*>& made, std::string& error) {
    std::vector<OpenEntry> open = {{root, nullptr, 0}};
    // Closes the deepest open entry: its count is now known.
    auto close = [&] {
        const OpenEntry done = open.back();
        open.pop_back();
        open.back().shown += done.shown;
        if (done.shown == 0) return true;
        error = RunGuarded(ctx,
                           [&] { pdf_dict_put_int(ctx, done.entry, PDF_NAME(Count), done.shown); });
        return error.empty();
    };
    for (const OutlineItem& item : items) {
        while (open.size() > static_cast<size_t>(item.depth)) {
            if (!close()) return -1;
        }
        LinkTarget target;
        const bool leads = ResolveInternalTarget(ctx, doc, layout, pageCount, item.target, target);
        OpenEntry& parent = open.back();
        const char* title = item.title.c_str();
        made.push_back(nullptr);
        pdf_obj** stored = &made.back();
        error = RunGuarded(ctx, [&] {
            pdf_obj* entry = *stored = pdf_add_new_dict(ctx, pdf, 6);
            pdf_dict_put_text_string(ctx, entry, PDF_NAME(Title), title);
            pdf_dict_put(ctx, entry, PDF_NAME(Parent), parent.entry);
            if (leads)
                pdf_dict_put_drop(ctx, entry, PDF_NAME(Dest), NewDestination(ctx, pdf, target));
            if (parent.lastChild) {
                pdf_dict_put(ctx, entry, PDF_NAME(Prev), parent.lastChild);
                pdf_dict_put(ctx, parent.lastChild, PDF_NAME(Next), entry);
            } else {
                pdf_dict_put(ctx, parent.entry, PDF_NAME(First), entry);
            }
            pdf_dict_put(ctx, parent.entry, PDF_NAME(Last), entry);
        });
        if (!error.empty()) return -1;
        parent.lastChild = made.back();
        parent.shown += 1;
        open.push_back({made.back(), nullptr, 0});
    }
    while (open.size() > 1) {
        if (!close()) return -1;
    }
    return open.back().shown;
}

}  // namespace

bool AddOutline(fz_context* ctx, fz_document* doc, pdf_document* pdf, const DocumentLayout& layout,
                int pageCount, const XpsPackage& package, const std::string& documentPath,
                std::string& error) {
    // A structure part that cannot be read gives no entries.
    const DocumentOutline outline = ReadDocumentOutline(package, kMaxOutlineEntries);
    if (outline.cut) {
        ReportError(documentPath + ": the outline has more than " +
                    std::to_string(kMaxOutlineEntries) + " entries; only the first " +
                    std::to_string(kMaxOutlineEntries) + " are kept");
    }
    if (outline.items.empty()) return true;
    pdf_obj* root = nullptr;
    std::vector<pdf_obj*> made;
    made.reserve(outline.items.size());
    error = RunGuarded(ctx, [&] {
        root = pdf_add_new_dict(ctx, pdf, 4);
        pdf_dict_put(ctx, root, PDF_NAME(Type), PDF_NAME(Outlines));
    });
    const int shown = error.empty() ? WriteItems(ctx, doc, pdf, layout, pageCount, outline.items,
                                                 root, made, error)
                                    : -1;
    if (shown >= 0) {
        error = RunGuarded(ctx, [&] {
            pdf_dict_put_int(ctx, root, PDF_NAME(Count), shown);
            pdf_obj* catalog = pdf_dict_get(ctx, pdf_trailer(ctx, pdf), PDF_NAME(Root));
            pdf_dict_put(ctx, catalog, PDF_NAME(Outlines), root);
            pdf_dict_put(ctx, catalog, PDF_NAME(PageMode), PDF_NAME(UseOutlines));
        });
    }
    pdf_drop_obj(ctx, root);
    for (pdf_obj* entry : made) pdf_drop_obj(ctx, entry);
    return error.empty();
}

}  // namespace engine
