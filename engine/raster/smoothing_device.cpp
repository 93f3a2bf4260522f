#include "engine/raster/smoothing_device.h"

#include <cmath>

#include "engine/runtime/image_smoothing.h"
#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

struct SmoothingDevice {
    fz_device super;
    fz_device* target;
};

fz_device* Target(fz_device* dev) { return reinterpret_cast<SmoothingDevice*>(dev)->target; }

// The draw device smooths an enlarged image unless told not to for the whole device, so it is
// told for the one image. An image reduced in either direction keeps the draw device's own
// reduction filter.
template <class Draw>
void DrawImage(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, Draw draw) {
    fz_device* target = Target(dev);
    const float across = std::hypot(ctm.a, ctm.b);
    const float down = std::hypot(ctm.c, ctm.d);
    const bool sharp = across >= image->w && down >= image->h &&
                       SmoothingFor(ctx, image, across, down) == ImageSmoothing::Sharp;
    if (!sharp) {
        draw(target);
        return;
    }
    RunWithCleanup(
        ctx,
        [&] {
            fz_enable_device_hints(ctx, target, FZ_DONT_INTERPOLATE_IMAGES);
            draw(target);
        },
        [&] { fz_disable_device_hints(ctx, target, FZ_DONT_INTERPOLATE_IMAGES); });
}

void FillImage(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha,
               fz_color_params params) {
    DrawImage(ctx, dev, image, ctm,
              [&](fz_device* target) { fz_fill_image(ctx, target, image, ctm, alpha, params); });
}

void FillImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm,
                   fz_colorspace* cs, const float* colour, float alpha, fz_color_params params) {
    DrawImage(ctx, dev, image, ctm, [&](fz_device* target) {
        fz_fill_image_mask(ctx, target, image, ctm, cs, colour, alpha, params);
    });
}

void ClipImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm,
                   fz_rect scissor) {
    DrawImage(ctx, dev, image, ctm,
              [&](fz_device* target) { fz_clip_image_mask(ctx, target, image, ctm, scissor); });
}

// Everything else passes on unchanged.
void CloseDevice(fz_context* ctx, fz_device* dev) { fz_close_device(ctx, Target(dev)); }
void FillPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
              fz_colorspace* cs, const float* colour, float alpha, fz_color_params params) {
    fz_fill_path(ctx, Target(dev), path, evenOdd, ctm, cs, colour, alpha, params);
}
void StrokePath(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                fz_matrix ctm, fz_colorspace* cs, const float* colour, float alpha,
                fz_color_params params) {
    fz_stroke_path(ctx, Target(dev), path, stroke, ctm, cs, colour, alpha, params);
}
void ClipPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
              fz_rect scissor) {
    fz_clip_path(ctx, Target(dev), path, evenOdd, ctm, scissor);
}
void ClipStrokePath(fz_context* ctx, fz_device* dev, const fz_path* path,
                    const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    fz_clip_stroke_path(ctx, Target(dev), path, stroke, ctm, scissor);
}
void FillText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
              fz_colorspace* cs, const float* colour, float alpha, fz_color_params params) {
    fz_fill_text(ctx, Target(dev), text, ctm, cs, colour, alpha, params);
}
void StrokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                fz_matrix ctm, fz_colorspace* cs, const float* colour, float alpha,
                fz_color_params params) {
    fz_stroke_text(ctx, Target(dev), text, stroke, ctm, cs, colour, alpha, params);
}
void ClipText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
              fz_rect scissor) {
    fz_clip_text(ctx, Target(dev), text, ctm, scissor);
}
void ClipStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text,
                    const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    fz_clip_stroke_text(ctx, Target(dev), text, stroke, ctm, scissor);
}
void IgnoreText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm) {
    fz_ignore_text(ctx, Target(dev), text, ctm);
}
void FillShade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha,
               fz_color_params params) {
    fz_fill_shade(ctx, Target(dev), shade, ctm, alpha, params);
}
void PopClip(fz_context* ctx, fz_device* dev) { fz_pop_clip(ctx, Target(dev)); }
void BeginMask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs,
               const float* backdrop, fz_color_params params) {
    fz_begin_mask(ctx, Target(dev), area, luminosity, cs, backdrop, params);
}
void EndMask(fz_context* ctx, fz_device* dev) { fz_end_mask(ctx, Target(dev)); }
void BeginGroup(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated,
                int knockout, int blendmode, float alpha) {
    fz_begin_group(ctx, Target(dev), area, cs, isolated, knockout, blendmode, alpha);
}
void EndGroup(fz_context* ctx, fz_device* dev) { fz_end_group(ctx, Target(dev)); }
int BeginTile(fz_context* ctx, fz_device* dev, fz_rect area, fz_rect view, float xstep, float ystep,
              fz_matrix ctm, int id) {
    return fz_begin_tile_id(ctx, Target(dev), area, view, xstep, ystep, ctm, id);
}
void EndTile(fz_context* ctx, fz_device* dev) { fz_end_tile(ctx, Target(dev)); }
void RenderFlags(fz_context* ctx, fz_device* dev, int set, int clear) {
    fz_render_flags(ctx, Target(dev), set, clear);
}
void SetDefaultColorspaces(fz_context* ctx, fz_device* dev, fz_default_colorspaces* spaces) {
    fz_set_default_colorspaces(ctx, Target(dev), spaces);
}
void BeginLayer(fz_context* ctx, fz_device* dev, const char* name) {
    fz_begin_layer(ctx, Target(dev), name);
}
void EndLayer(fz_context* ctx, fz_device* dev) { fz_end_layer(ctx, Target(dev)); }

}  // namespace

fz_device* NewSmoothingDevice(fz_context* ctx, fz_device* target) {
    auto* dev = fz_new_derived_device(ctx, SmoothingDevice);
    dev->target = target;
    dev->super.close_device = CloseDevice;
    dev->super.fill_path = FillPath;
    dev->super.stroke_path = StrokePath;
    dev->super.clip_path = ClipPath;
    dev->super.clip_stroke_path = ClipStrokePath;
    dev->super.fill_text = FillText;
    dev->super.stroke_text = StrokeText;
    dev->super.clip_text = ClipText;
    dev->super.clip_stroke_text = ClipStrokeText;
    dev->super.ignore_text = IgnoreText;
    dev->super.fill_shade = FillShade;
    dev->super.fill_image = ShieldedCallback<FillImage>::Call;
    dev->super.fill_image_mask = ShieldedCallback<FillImageMask>::Call;
    dev->super.clip_image_mask = ShieldedCallback<ClipImageMask>::Call;
    dev->super.pop_clip = PopClip;
    dev->super.begin_mask = BeginMask;
    dev->super.end_mask = EndMask;
    dev->super.begin_group = BeginGroup;
    dev->super.end_group = EndGroup;
    dev->super.begin_tile = BeginTile;
    dev->super.end_tile = EndTile;
    dev->super.render_flags = RenderFlags;
    dev->super.set_default_colorspaces = SetDefaultColorspaces;
    dev->super.begin_layer = BeginLayer;
    dev->super.end_layer = EndLayer;
    return &dev->super;
}

}  // namespace engine
