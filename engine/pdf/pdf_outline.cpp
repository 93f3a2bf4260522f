#include "engine/pdf/pdf_outline.h"

#include <vector>

#include "engine/xps/link_targets.h"
#include "engine/xps/xps_source.h"

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
    // number of items below parent that are shown (every item is open). Throws.
    int WriteChain(fz_outline* first, pdf_obj* parent) {
        pdf_obj* previous = nullptr;
        int shown = 0;
        for (fz_outline* item = first; item; item = item->next) {
            made.push_back(nullptr);
            pdf_obj* entry = made.back() = pdf_add_new_dict(ctx, pdf, 6);
            pdf_dict_put_text_string(ctx, entry, PDF_NAME(Title), item->title ? item->title : "");
            pdf_dict_put(ctx, entry, PDF_NAME(Parent), parent);
            LinkTarget target;
            if (item->uri &&
                ResolveInternalTarget(ctx, doc, layout, pageCount, item->uri, target)) {
                pdf_dict_put_drop(ctx, entry, PDF_NAME(Dest), NewDestination(ctx, pdf, target));
            }
            if (previous) {
                pdf_dict_put(ctx, entry, PDF_NAME(Prev), previous);
                pdf_dict_put(ctx, previous, PDF_NAME(Next), entry);
            } else {
                pdf_dict_put(ctx, parent, PDF_NAME(First), entry);
            }
            pdf_dict_put(ctx, parent, PDF_NAME(Last), entry);
            int below = item->down ? WriteChain(item->down, entry) : 0;
            if (below > 0) pdf_dict_put_int(ctx, entry, PDF_NAME(Count), below);
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
    pdf_obj* root = nullptr;
    bool ok = true;
    fz_var(outline);
    fz_var(root);
    fz_var(ok);
    OutlineWriter writer{ctx, doc, pdf, layout, pageCount, {}};
    // A document whose structure part cannot be read has no outline.
    fz_try(ctx) { outline = fz_load_outline(ctx, doc); }
    fz_catch(ctx) { outline = nullptr; }
    if (!outline) return true;
    fz_try(ctx) {
        root = pdf_add_new_dict(ctx, pdf, 4);
        pdf_dict_put(ctx, root, PDF_NAME(Type), PDF_NAME(Outlines));
        int shown = writer.WriteChain(outline, root);
        pdf_dict_put_int(ctx, root, PDF_NAME(Count), shown);
        pdf_obj* catalog = pdf_dict_get(ctx, pdf_trailer(ctx, pdf), PDF_NAME(Root));
        pdf_dict_put(ctx, catalog, PDF_NAME(Outlines), root);
        pdf_dict_put(ctx, catalog, PDF_NAME(PageMode), PDF_NAME(UseOutlines));
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, root);
        for (pdf_obj* entry : writer.made) pdf_drop_obj(ctx, entry);
        fz_drop_outline(ctx, outline);
    }
    fz_catch(ctx) { ok = false; }
    if (!ok) error = CaughtMessage(ctx);
    return ok;
}

}  // namespace engine
