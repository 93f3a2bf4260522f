#include "engine/pdf/pdf_masked_group.h"

#include <cstdio>

#include "engine/pdf/pdf_content_injection.h"
#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

// A form XObject over bbox whose content is list, drawn in the device space (so patterns
// inside it are placed in that space too). A new reference.
pdf_obj* AddListForm(fz_context* ctx, FaithfulPdfState& state, const FaithfulTarget& parent,
                     fz_display_list* list, fz_rect bbox, bool alphaAsLuminosity) {
    pdf_document* doc = state.doc;
    const RecordedForm recorded = RecordForm(ctx, state, list, fz_identity,
                                             {bbox, parent.unitScale, alphaAsLuminosity}, true);
    pdf_obj* form = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            form =
                pdf_new_xobject(ctx, doc, bbox, fz_identity, recorded.resources, recorded.contents);
            pdf_obj* group = pdf_dict_put_dict(ctx, form, PDF_NAME(Group), 3);
            pdf_dict_put(ctx, group, PDF_NAME(S), PDF_NAME(Transparency));
            if (alphaAsLuminosity) {
                pdf_dict_put(ctx, group, PDF_NAME(CS), PDF_NAME(DeviceGray));
            } else {
                pdf_dict_put_bool(ctx, group, PDF_NAME(I), 1);
            }
        },
        [&] {
            fz_drop_buffer(ctx, recorded.contents);
            pdf_drop_obj(ctx, recorded.resources);
        },
        [&] { pdf_drop_obj(ctx, form); });
    return form;
}

// The graphics state painting through mask's form: full opacity besides the mask, as the
// stream may still hold the opacity of an earlier fill. A new reference.
pdf_obj* AddSoftMaskState(fz_context* ctx, pdf_document* doc, pdf_obj* maskForm) {
    pdf_obj* state = pdf_new_dict(ctx, doc, 4);
    pdf_obj* ref = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            pdf_dict_put(ctx, state, PDF_NAME(Type), PDF_NAME(ExtGState));
            pdf_dict_put_real(ctx, state, PDF_NAME(ca), 1);
            pdf_dict_put_real(ctx, state, PDF_NAME(CA), 1);
            pdf_obj* mask = pdf_dict_put_dict(ctx, state, PDF_NAME(SMask), 4);
            pdf_dict_put(ctx, mask, PDF_NAME(Type), PDF_NAME(Mask));
            pdf_dict_put(ctx, mask, PDF_NAME(S), PDF_NAME(Luminosity));
            pdf_dict_put(ctx, mask, PDF_NAME(G), maskForm);
            pdf_obj* backdrop = pdf_dict_put_array(ctx, mask, PDF_NAME(BC), 1);
            pdf_array_push_int(ctx, backdrop, 0);  // black: no alpha where the mask paints nothing
            ref = pdf_add_object(ctx, doc, state);
        },
        [&] { pdf_drop_obj(ctx, state); });
    return ref;
}

}  // namespace

void WriteMaskedGroup(fz_context* ctx, FaithfulPdfState& state, const FaithfulTarget& target,
                      fz_display_list* content, fz_display_list* mask, fz_rect bounds) {
    pdf_obj* contentForm = nullptr;
    pdf_obj* maskForm = nullptr;
    pdf_obj* gstate = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            // Content drawn for a mask is itself mask content: it keeps the mask's way of drawing.
            contentForm =
                AddListForm(ctx, state, target, content, bounds, target.alphaAsLuminosity);
            maskForm = AddListForm(ctx, state, target, mask, bounds, true);
            gstate = AddSoftMaskState(ctx, state.doc, maskForm);
            char gsName[32];
            char formName[32];
            std::snprintf(gsName, sizeof gsName, "XfMk%d", state.nextName++);
            std::snprintf(formName, sizeof formName, "XfFm%d", state.nextName++);
            AddNamedResource(ctx, target.resources, PDF_NAME(ExtGState), gsName, gstate);
            AddNamedResource(ctx, target.resources, PDF_NAME(XObject), formName, contentForm);
            char ops[96];
            std::snprintf(ops, sizeof ops, "/%s gs\n/%s Do\n", gsName, formName);
            InjectUnderClip(ctx, target.device, target.contents, bounds, fz_identity, ops);
        },
        [&] {
            pdf_drop_obj(ctx, gstate);
            pdf_drop_obj(ctx, maskForm);
            pdf_drop_obj(ctx, contentForm);
        });
}

}  // namespace engine
