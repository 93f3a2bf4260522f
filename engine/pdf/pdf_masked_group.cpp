#include "engine/pdf/pdf_masked_group.h"

#include <cstdio>

#include "engine/pdf/pdf_content_injection.h"

namespace engine {
namespace {

// A form XObject over bbox whose content is list, drawn through a device like the page's own
// so that shadings, tiles and nested masks inside stay what they are. A new reference.
pdf_obj* AddListForm(fz_context* ctx, FaithfulPdfState& state, const FaithfulTarget& parent,
                     fz_display_list* list, fz_rect bbox, bool alphaAsLuminosity) {
    pdf_document* doc = state.doc;
    pdf_obj* resources = pdf_new_dict(ctx, doc, 4);
    fz_buffer* buffer = nullptr;
    fz_device* output = nullptr;
    fz_device* faithful = nullptr;
    pdf_obj* form = nullptr;
    fz_var(buffer);
    fz_var(output);
    fz_var(faithful);
    fz_try(ctx) {
        buffer = fz_new_buffer(ctx, 1024);
        // The output device takes a new stream's colours to be white, where PDF starts black.
        fz_append_string(ctx, buffer, "1 g\n1 G\n");
        output = pdf_new_pdf_device(ctx, doc, fz_identity, resources, buffer);
        // The form is painted with the device space as its space: patterns inside it are
        // placed in that space too.
        FaithfulTarget inner{output, resources, buffer, fz_identity, bbox, parent.unitScale};
        inner.alphaAsLuminosity = alphaAsLuminosity;
        faithful = NewFaithfulPdfDevice(ctx, state, inner);
        fz_run_display_list(ctx, list, faithful, fz_identity, fz_infinite_rect, nullptr);
        fz_close_device(ctx, faithful);
        fz_close_device(ctx, output);
        form = pdf_new_xobject(ctx, doc, bbox, fz_identity, resources, buffer);
        pdf_obj* group = pdf_dict_put_dict(ctx, form, PDF_NAME(Group), 3);
        pdf_dict_put(ctx, group, PDF_NAME(S), PDF_NAME(Transparency));
        if (alphaAsLuminosity) {
            pdf_dict_put(ctx, group, PDF_NAME(CS), PDF_NAME(DeviceGray));
        } else {
            pdf_dict_put_bool(ctx, group, PDF_NAME(I), 1);
        }
    }
    fz_always(ctx) {
        fz_drop_device(ctx, faithful);
        fz_drop_device(ctx, output);
        fz_drop_buffer(ctx, buffer);
        pdf_drop_obj(ctx, resources);
    }
    fz_catch(ctx) {
        pdf_drop_obj(ctx, form);
        fz_rethrow(ctx);
    }
    return form;
}

// The graphics state painting through mask's form: full opacity besides the mask, as the
// stream may still hold the opacity of an earlier fill. A new reference.
pdf_obj* AddSoftMaskState(fz_context* ctx, pdf_document* doc, pdf_obj* maskForm) {
    pdf_obj* state = pdf_new_dict(ctx, doc, 4);
    pdf_obj* ref = nullptr;
    fz_try(ctx) {
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
    }
    fz_always(ctx) { pdf_drop_obj(ctx, state); }
    fz_catch(ctx) { fz_rethrow(ctx); }
    return ref;
}

}  // namespace

void WriteMaskedGroup(fz_context* ctx, FaithfulPdfState& state, const FaithfulTarget& target,
                      fz_display_list* content, fz_display_list* mask, fz_rect bounds) {
    pdf_obj* contentForm = nullptr;
    pdf_obj* maskForm = nullptr;
    pdf_obj* gstate = nullptr;
    fz_var(contentForm);
    fz_var(maskForm);
    fz_var(gstate);
    fz_try(ctx) {
        // Content drawn for a mask is itself mask content: it keeps the mask's way of drawing.
        contentForm = AddListForm(ctx, state, target, content, bounds, target.alphaAsLuminosity);
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
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, gstate);
        pdf_drop_obj(ctx, maskForm);
        pdf_drop_obj(ctx, contentForm);
    }
    fz_catch(ctx) { fz_rethrow(ctx); }
}

}  // namespace engine
