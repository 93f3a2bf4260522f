#include "engine/pdf/pdf_outline.h"

#include <string>
#include <vector>

#include "engine/runtime/mupdf_guard.h"
#include "engine/xps/link_targets.h"

namespace engine {
namespace {

struct OutlineWriter {
    fz_context* ctx;
    fz_document* doc;
    pdf_document* pdf;
    const DocumentLayout& layout;
    int pageCount;
    // Every entry made, dropped by the owner once the tree is done or abandoned, so that a
    // library error part way leaks nothing.
    std::vector<pdf_obj*> made;

    // Writes the items of the chain first under parent (an indirect object) and returns the
    // number of items below parent that are shown (every item is open); -1 with error set
    // when the library failed.
    int WriteChain(fz_outline* first, pdf_obj* parent, std::string& error) {
        pdf_obj* previous = nullptr;
        int shown = 0;
        for (fz_outline* item = first; item; item = item->next) {
            LinkTarget target;
            const bool leads =
                item->uri && ResolveInternalTarget(ctx, doc, layout, pageCount, item->uri, target);
            made.push_back(nullptr);
            pdf_obj** stored = &made.back();
            pdf_obj* entry = nullptr;
            error = RunGuarded(ctx, [&] {
                entry = *stored = pdf_add_new_dict(ctx, pdf, 6);
                pdf_dict_put_text_string(ctx, entry, PDF_NAME(Title),
                                         item->title ? item->title : "");
                pdf_dict_put(ctx, entry, PDF_NAME(Parent), parent);
                if (leads)
                    pdf_dict_put_drop(ctx, entry, PDF_NAME(Dest), NewDestination(ctx, pdf, target));
                if (previous) {
                    pdf_dict_put(ctx, entry, PDF_NAME(Prev), previous);
                    pdf_dict_put(ctx, previous, PDF_NAME(Next), entry);
                } else {
                    pdf_dict_put(ctx, parent, PDF_NAME(First), entry);
                }
                pdf_dict_put(ctx, parent, PDF_NAME(Last), entry);
            });
            if (!error.empty()) return -1;
            const int below = item->down ? WriteChain(item->down, entry, error) : 0;
            if (below < 0) return -1;
            if (below > 0) {
                error =
                    RunGuarded(ctx, [&] { pdf_dict_put_int(ctx, entry, PDF_NAME(Count), below); });
                if (!error.empty()) return -1;
            }
            shown += 1 + below;
            previous = entry;
        }
        return shown;
    }
};

}  // namespace

bool AddOutline(fz_context* ctx, fz_document* doc, pdf_document* pdf, const DocumentLayout& layout,
                int pageCount, std::string& error) {
    fz_outline* outline = nullptr;
    // A document whose structure part cannot be read has no outline.
    if (!RunGuarded(ctx, [&] { outline = fz_load_outline(ctx, doc); }).empty()) outline = nullptr;
    if (!outline) return true;
    pdf_obj* root = nullptr;
    OutlineWriter writer{ctx, doc, pdf, layout, pageCount, {}};
    error = RunGuarded(ctx, [&] {
        root = pdf_add_new_dict(ctx, pdf, 4);
        pdf_dict_put(ctx, root, PDF_NAME(Type), PDF_NAME(Outlines));
    });
    const int shown = error.empty() ? writer.WriteChain(outline, root, error) : -1;
    if (shown >= 0) {
        error = RunGuarded(ctx, [&] {
            pdf_dict_put_int(ctx, root, PDF_NAME(Count), shown);
            pdf_obj* catalog = pdf_dict_get(ctx, pdf_trailer(ctx, pdf), PDF_NAME(Root));
            pdf_dict_put(ctx, catalog, PDF_NAME(Outlines), root);
            pdf_dict_put(ctx, catalog, PDF_NAME(PageMode), PDF_NAME(UseOutlines));
        });
    }
    pdf_drop_obj(ctx, root);
    for (pdf_obj* entry : writer.made) pdf_drop_obj(ctx, entry);
    fz_drop_outline(ctx, outline);
    return error.empty();
}

}  // namespace engine
