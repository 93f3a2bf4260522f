#include "engine/pdf/pdf_shading_writer.h"

#include <cmath>

#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

constexpr int kSamples = 256;

// The PDF name of shade's colour space, or nullptr when it has none we can name.
pdf_obj* DeviceColourSpaceName(fz_context* ctx, fz_colorspace* colourspace) {
    if (!colourspace) return nullptr;
    if (colourspace == fz_device_rgb(ctx)) return PDF_NAME(DeviceRGB);
    if (colourspace == fz_device_gray(ctx)) return PDF_NAME(DeviceGray);
    if (colourspace == fz_device_cmyk(ctx)) return PDF_NAME(DeviceCMYK);
    return nullptr;
}

uint8_t ToByte(float value) {
    if (!(value > 0)) return 0;
    if (value >= 1) return 255;
    return static_cast<uint8_t>(std::lround(value * 255));
}

// Samples columns [first, first + n) of the shade's function.
pdf_obj* AddSampledFunction(fz_context* ctx, pdf_document* doc, const fz_shade* shade, int first,
                            int n) {
    fz_buffer* samples = fz_new_buffer(ctx, static_cast<size_t>(kSamples) * n);
    pdf_obj* dict = nullptr;
    pdf_obj* ref = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            for (int i = 0; i < kSamples; ++i) {
                for (int k = first; k < first + n; ++k) {
                    fz_append_byte(ctx, samples, ToByte(shade->function[i][k]));
                }
            }
            dict = pdf_new_dict(ctx, doc, 6);
            pdf_dict_put_int(ctx, dict, PDF_NAME(FunctionType), 0);
            pdf_obj* domain = pdf_dict_put_array(ctx, dict, PDF_NAME(Domain), 2);
            pdf_array_push_int(ctx, domain, 0);
            pdf_array_push_int(ctx, domain, 1);
            pdf_obj* range = pdf_dict_put_array(ctx, dict, PDF_NAME(Range), 2 * n);
            for (int k = 0; k < n; ++k) {
                pdf_array_push_int(ctx, range, 0);
                pdf_array_push_int(ctx, range, 1);
            }
            pdf_obj* size = pdf_dict_put_array(ctx, dict, PDF_NAME(Size), 1);
            pdf_array_push_int(ctx, size, kSamples);
            pdf_dict_put_int(ctx, dict, PDF_NAME(BitsPerSample), 8);
            ref = pdf_add_stream(ctx, doc, samples, dict, 0);
        },
        [&] {
            pdf_drop_obj(ctx, dict);
            fz_drop_buffer(ctx, samples);
        });
    return ref;
}

}  // namespace

bool IsExpressibleShading(fz_context* ctx, const fz_shade* shade) {
    if (shade->type != FZ_LINEAR && shade->type != FZ_RADIAL) return false;
    if (!shade->use_function || !DeviceColourSpaceName(ctx, shade->colorspace)) return false;
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 3; ++k) {
            if (!std::isfinite(shade->u.l_or_r.coords[i][k])) return false;
        }
    }
    return true;
}

// The function's column after the colours holds the opacity.
float ShadingOpacity(fz_context* ctx, const fz_shade* shade) {
    const int n = fz_colorspace_n(ctx, shade->colorspace);
    const float first = shade->function[0][n];
    for (int i = 1; i < kSamples; ++i) {
        if (std::fabs(shade->function[i][n] - first) > 0.5f / 255) return -1;
    }
    return first;
}

pdf_obj* AddPdfShading(fz_context* ctx, pdf_document* doc, const fz_shade* shade, bool opacity) {
    const int colours = fz_colorspace_n(ctx, shade->colorspace);
    const int n = opacity ? 1 : colours;
    const bool radial = shade->type == FZ_RADIAL;
    pdf_obj* function = AddSampledFunction(ctx, doc, shade, opacity ? colours : 0, n);
    pdf_obj* dict = nullptr;
    pdf_obj* ref = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            dict = pdf_new_dict(ctx, doc, 5);
            pdf_dict_put_int(ctx, dict, PDF_NAME(ShadingType), radial ? 3 : 2);
            pdf_dict_put(
                ctx, dict, PDF_NAME(ColorSpace),
                opacity ? PDF_NAME(DeviceGray) : DeviceColourSpaceName(ctx, shade->colorspace));
            pdf_obj* coords = pdf_dict_put_array(ctx, dict, PDF_NAME(Coords), 6);
            for (int i = 0; i < 2; ++i) {
                pdf_array_push_real(ctx, coords, shade->u.l_or_r.coords[i][0]);
                pdf_array_push_real(ctx, coords, shade->u.l_or_r.coords[i][1]);
                if (radial) pdf_array_push_real(ctx, coords, shade->u.l_or_r.coords[i][2]);
            }
            pdf_obj* extend = pdf_dict_put_array(ctx, dict, PDF_NAME(Extend), 2);
            pdf_array_push_bool(ctx, extend, shade->u.l_or_r.extend[0]);
            pdf_array_push_bool(ctx, extend, shade->u.l_or_r.extend[1]);
            pdf_dict_put(ctx, dict, PDF_NAME(Function), function);
            ref = pdf_add_object(ctx, doc, dict);
        },
        [&] {
            pdf_drop_obj(ctx, dict);
            pdf_drop_obj(ctx, function);
        });
    return ref;
}

pdf_obj* AddShadingOpacityState(fz_context* ctx, pdf_document* doc, const fz_shade* shade,
                                fz_rect bbox, float alpha) {
    pdf_obj* opacity = AddPdfShading(ctx, doc, shade, true);
    pdf_obj* resources = nullptr;
    pdf_obj* form = nullptr;
    pdf_obj* state = nullptr;
    pdf_obj* ref = nullptr;
    fz_buffer* paint = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            resources = pdf_new_dict(ctx, doc, 1);
            pdf_obj* shadings = pdf_dict_put_dict(ctx, resources, PDF_NAME(Shading), 1);
            pdf_dict_puts(ctx, shadings, "A", opacity);
            paint = fz_new_buffer_from_copied_data(
                ctx, reinterpret_cast<const unsigned char*>("/A sh\n"), 6);
            form = pdf_new_xobject(ctx, doc, bbox, fz_identity, resources, paint);
            pdf_obj* group = pdf_dict_put_dict(ctx, form, PDF_NAME(Group), 2);
            pdf_dict_put(ctx, group, PDF_NAME(S), PDF_NAME(Transparency));
            pdf_dict_put(ctx, group, PDF_NAME(CS), PDF_NAME(DeviceGray));

            state = pdf_new_dict(ctx, doc, 4);
            pdf_dict_put(ctx, state, PDF_NAME(Type), PDF_NAME(ExtGState));
            pdf_dict_put_real(ctx, state, PDF_NAME(ca), alpha);
            pdf_dict_put_real(ctx, state, PDF_NAME(CA), alpha);
            pdf_obj* mask = pdf_dict_put_dict(ctx, state, PDF_NAME(SMask), 3);
            pdf_dict_put(ctx, mask, PDF_NAME(Type), PDF_NAME(Mask));
            pdf_dict_put(ctx, mask, PDF_NAME(S), PDF_NAME(Luminosity));
            pdf_dict_put(ctx, mask, PDF_NAME(G), form);
            ref = pdf_add_object(ctx, doc, state);
        },
        [&] {
            fz_drop_buffer(ctx, paint);
            pdf_drop_obj(ctx, state);
            pdf_drop_obj(ctx, form);
            pdf_drop_obj(ctx, resources);
            pdf_drop_obj(ctx, opacity);
        });
    return ref;
}

}  // namespace engine
