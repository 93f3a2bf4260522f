#include "engine/pdf/faithful_pdf_device.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdio>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "engine/pdf/written_text_mode.h"
#include "engine/pdf/pdf_content_injection.h"
#include "engine/pdf/pdf_text_parts.h"
#include "engine/pdf/path_refit.h"
#include "engine/pdf/pdf_masked_group.h"
#include "engine/pdf/pdf_shading_writer.h"
#include "engine/pdf/stroke_caps.h"
#include "engine/pdf/stroke_dashes.h"
#include "engine/raster/region_raster.h"
#include "engine/runtime/image_smoothing.h"
#include "engine/runtime/mupdf_guard.h"
#include "engine/xps/text_style_simulation.h"

namespace engine {
namespace {

// Content held back from the output device until its end is seen: a tile's content (to become
// a pattern), a grouped region (to become an image), an opacity mask's brush and then the
// content it masks (to become a soft-masked group).
enum class CaptureKind { None, Tile, Region, MaskBrush, Masked };

struct TileParameters {
    fz_rect area;
    fz_rect view;
    float xstep;
    float ystep;
    fz_matrix ctm;
};

struct DeviceState {
    FaithfulPdfState* shared = nullptr;
    FaithfulTarget target{};
    std::vector<fz_rect> clips;          // bounds of each open clip, in device space
    std::map<pdf_obj*, int> imageNames;  // images already named in the target's resources
    std::map<float, int> opacityNames;   // graphics states likewise, by opacity
    CaptureKind capture = CaptureKind::None;
    fz_display_list* captured = nullptr;
    fz_device* recorder = nullptr;
    int depth = 0;               // containers open in the capture, the one that started it included
    bool capturedImage = false;  // the capture draws an image: it is photographic
    TileParameters tile{};
    fz_display_list* mask = nullptr;  // the brush of the mask over the Masked capture
    std::string marking;              // the marked content of the text being written
};

struct FaithfulDevice {
    fz_device super;
    DeviceState* state;
};

DeviceState& State(fz_device* dev) { return *reinterpret_cast<FaithfulDevice*>(dev)->state; }

bool Capturing(const DeviceState& s) { return s.capture != CaptureKind::None; }

// Where plain drawing goes: the capture while there is one, the output device otherwise.
fz_device* Out(const DeviceState& s) { return Capturing(s) ? s.recorder : s.target.device; }

fz_rect VisibleBounds(const DeviceState& s) {
    return s.clips.empty() ? s.target.limit : s.clips.back();
}

void PushClip(DeviceState& s, fz_rect bounds) {
    s.clips.push_back(fz_intersect_rect(bounds, VisibleBounds(s)));
}

int NextName(DeviceState& s) { return s.shared->nextName++; }

void StartCapture(fz_context* ctx, DeviceState& s, CaptureKind kind) {
    s.captured = fz_new_display_list(ctx, fz_infinite_rect);
    RunUndoingOnFailure(
        ctx, [&] { s.recorder = fz_new_list_device(ctx, s.captured); },
        [&] {
            fz_drop_display_list(ctx, s.captured);
            s.captured = nullptr;
        });
    s.capture = kind;
    s.depth = 1;
    s.capturedImage = false;
}

// Ends the capture and hands its list over to the caller, who drops it.
fz_display_list* TakeCapture(fz_context* ctx, DeviceState& s) {
    fz_display_list* list = s.captured;
    fz_device* recorder = s.recorder;
    s.captured = nullptr;
    s.recorder = nullptr;
    s.capture = CaptureKind::None;
    s.depth = 0;
    RunWithCleanup(
        ctx, [&] { fz_close_device(ctx, recorder); }, [&] { fz_drop_device(ctx, recorder); },
        [&] { fz_drop_display_list(ctx, list); });
    return list;
}

void PaintList(fz_context* ctx, fz_device* device, fz_matrix ctm, void* arg) {
    fz_run_display_list(ctx, static_cast<fz_display_list*>(arg), device, ctm, fz_infinite_rect,
                        nullptr);
}

// A shading or an image filled again, for PlaceRendered, with the call that draws it.
template <typename Object, void (*kFill)(fz_context*, fz_device*, Object*, fz_matrix, float, fz_color_params)>
struct FillPaint {
    Object* object;
    fz_matrix ctm;
    float alpha;
    fz_color_params params;

    static void Paint(fz_context* ctx, fz_device* device, fz_matrix ctm, void* arg) {
        auto* paint = static_cast<FillPaint*>(arg);
        kFill(ctx, device, paint->object, fz_concat(paint->ctm, ctm), paint->alpha, paint->params);
    }
};
using ShadePaint = FillPaint<fz_shade, fz_fill_shade>;
using ImagePaint = FillPaint<fz_image, fz_fill_image>;

bool AlphaAsLuminosity(const DeviceState& s) { return s.target.alphaAsLuminosity; }

// The colour drawing takes: white in a soft mask's group (see FaithfulTarget); otherwise the
// given colour, its 8-bit levels written short (conversions leave 0.99999997 for 1).
struct Paint {
    fz_colorspace* cs;
    const float* colour;  // rounded, kWhite or as given
    float rounded[FZ_MAX_COLORS] = {};

    Paint(fz_colorspace* space, const float* given) : cs(space), colour(given) {}
    Paint(const Paint& other)
        : cs(other.cs), colour(other.colour == other.rounded ? rounded : other.colour) {
        std::copy(std::begin(other.rounded), std::end(other.rounded), rounded);
    }
    Paint& operator=(const Paint&) = delete;
};

const float kWhite[FZ_MAX_COLORS] = {1};

// A component that is an 8-bit level k / 255 (within what conversions add) is written with four
// decimals, rounded up, so that a reader that truncates still finds k; others stay as they are.
float ShortColourComponent(float value) {
    const double level = std::round(static_cast<double>(value) * 255);
    if (!(std::fabs(value * 255.0 - level) <= 2e-3)) return value;
    return static_cast<float>(std::fmax(std::ceil(level / 255 * 1e4 - 1e-6) / 1e4, 0.0));
}

Paint PaintFor(fz_context* ctx, const DeviceState& s, fz_colorspace* cs, const float* colour) {
    if (AlphaAsLuminosity(s) && !Capturing(s)) return Paint(fz_device_gray(ctx), kWhite);
    Paint paint(cs, colour);
    if (Capturing(s) || !cs || !colour) return paint;
    const int n = std::min(fz_colorspace_n(ctx, cs), static_cast<int>(FZ_MAX_COLORS));
    for (int i = 0; i < n; ++i) paint.rounded[i] = ShortColourComponent(colour[i]);
    paint.colour = paint.rounded;
    return paint;
}

// Draws the painter's content within bounds into an image on the output device.
void PlaceRendered(fz_context* ctx, DeviceState& s, fz_rect bounds, bool photographic,
                   RegionPainter painter, void* arg) {
    bounds = fz_intersect_rect(bounds, VisibleBounds(s));
    if (fz_is_empty_rect(bounds)) return;
    RegionImage region = RenderRegion(ctx, bounds, s.target.unitScale, photographic, painter, arg,
                                      AlphaAsLuminosity(s));
    if (!region.image) return;
    RunWithCleanup(
        ctx,
        [&] {
            fz_fill_image(ctx, s.target.device, region.image, region.placement, 1,
                          fz_default_color_params);
        },
        [&] { fz_drop_image(ctx, region.image); });
}

void FinishRegion(fz_context* ctx, DeviceState& s) {
    const bool photographic = s.capturedImage;
    fz_display_list* list = TakeCapture(ctx, s);
    RunWithCleanup(
        ctx, [&] { PlaceRendered(ctx, s, MarkedBounds(ctx, list), photographic, PaintList, list); },
        [&] { fz_drop_display_list(ctx, list); });
}

// The masked content and its mask become a soft-masked group over what the content marks.
void FinishMasked(fz_context* ctx, DeviceState& s) {
    fz_display_list* mask = s.mask;
    s.mask = nullptr;
    fz_display_list* content = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            content = TakeCapture(ctx, s);
            fz_rect bounds = fz_intersect_rect(MarkedBounds(ctx, content), VisibleBounds(s));
            if (!fz_is_empty_rect(bounds) && !fz_is_infinite_rect(bounds) && mask) {
                WriteMaskedGroup(ctx, *s.shared, s.target, content, mask, bounds);
            }
        },
        [&] {
            fz_drop_display_list(ctx, content);
            fz_drop_display_list(ctx, mask);
        });
}

// A brush whose masked content never came: nothing of it is drawn.
void DropCapture(fz_context* ctx, DeviceState& s) {
    fz_drop_display_list(ctx, TakeCapture(ctx, s));
}

// The container that opened the capture has closed.
void FinishCapture(fz_context* ctx, DeviceState& s) {
    switch (s.capture) {
        case CaptureKind::Masked:
            FinishMasked(ctx, s);
            break;
        case CaptureKind::MaskBrush:
            DropCapture(ctx, s);
            break;
        default:
            FinishRegion(ctx, s);
    }
}

// The operator that sets the opacity alpha, with its graphics state added to the target's
// resources once. It is written even for full opacity: the output device sets its opacity
// only when it changes, so the stream may still hold the one of an earlier fill.
void OpacityOperator(fz_context* ctx, DeviceState& s, float alpha, char* text, size_t size) {
    alpha = std::fmin(std::fmax(alpha, 0.0f), 1.0f);
    auto known = s.opacityNames.find(alpha);
    int number = known != s.opacityNames.end() ? known->second : NextName(s);
    char name[32];
    std::snprintf(name, sizeof name, "XfGs%d", number);
    if (known == s.opacityNames.end()) {
        pdf_obj* ref = AddOpacityState(ctx, s.shared->doc, alpha);
        RunWithCleanup(
            ctx, [&] { AddNamedResource(ctx, s.target.resources, PDF_NAME(ExtGState), name, ref); },
            [&] { pdf_drop_obj(ctx, ref); });
        s.opacityNames.emplace(alpha, number);
    }
    std::snprintf(text, size, "/%s gs\n", name);
}

// Tiles become a tiling pattern whose cell is the tile's content written through a device
// like this one, so that shadings, masks and tiles inside the cell are kept as well.
void WriteTilePattern(fz_context* ctx, DeviceState& s, fz_display_list* list,
                      const TileParameters& tile, fz_rect fillArea) {
    pdf_document* doc = s.shared->doc;
    // A tiled brush of a mask is mask content too. The output device takes a new stream's
    // colours to be white, where PDF starts black; a mask's white would otherwise never be set.
    const RecordedForm cell = RecordForm(
        ctx, *s.shared, list, fz_invert_matrix(tile.ctm),
        {tile.view, s.target.unitScale * fz_matrix_expansion(tile.ctm), AlphaAsLuminosity(s)},
        AlphaAsLuminosity(s));
    pdf_obj* dict = nullptr;
    pdf_obj* ref = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            dict = pdf_new_dict(ctx, doc, 8);
            pdf_dict_put(ctx, dict, PDF_NAME(Type), PDF_NAME(Pattern));
            pdf_dict_put_int(ctx, dict, PDF_NAME(PatternType), 1);
            pdf_dict_put_int(ctx, dict, PDF_NAME(PaintType), 1);
            pdf_dict_put_int(ctx, dict, PDF_NAME(TilingType), 1);
            pdf_dict_put_rect(ctx, dict, PDF_NAME(BBox), tile.view);
            pdf_dict_put_real(ctx, dict, PDF_NAME(XStep), std::fabs(tile.xstep));
            pdf_dict_put_real(ctx, dict, PDF_NAME(YStep), std::fabs(tile.ystep));
            pdf_dict_put(ctx, dict, PDF_NAME(Resources), cell.resources);
            pdf_dict_put_matrix(ctx, dict, PDF_NAME(Matrix), fz_concat(tile.ctm, s.target.base));
            ref = pdf_add_stream(ctx, doc, cell.contents, dict, 0);

            char name[32];
            std::snprintf(name, sizeof name, "XfP%d", NextName(s));
            AddNamedResource(ctx, s.target.resources, PDF_NAME(Pattern), name, ref);
            char ops[160];
            std::snprintf(ops, sizeof ops, "/Pattern cs\n/%s scn\n%g %g %g %g re\nf\n", name,
                          fillArea.x0, fillArea.y0, fillArea.x1 - fillArea.x0,
                          fillArea.y1 - fillArea.y0);
            InjectUnderClip(ctx, s.target.device, s.target.contents, fillArea, tile.ctm, ops);
        },
        [&] {
            pdf_drop_obj(ctx, ref);
            pdf_drop_obj(ctx, dict);
            fz_drop_buffer(ctx, cell.contents);
            pdf_drop_obj(ctx, cell.resources);
        });
}

void FinishTile(fz_context* ctx, fz_device* dev, DeviceState& s) {
    const TileParameters tile = s.tile;
    fz_display_list* list = TakeCapture(ctx, s);
    RunWithCleanup(
        ctx,
        [&] {
            // Only the part of the area that can be seen is filled.
            fz_rect fillArea =
                fz_intersect_rect(tile.area, InverseTransformedRect(VisibleBounds(s), tile.ctm));
            bool steps = std::isfinite(tile.xstep) && std::isfinite(tile.ystep) &&
                         std::fabs(tile.xstep) > 1e-6f && std::fabs(tile.ystep) > 1e-6f;
            if (!fz_is_empty_rect(fillArea) && !fz_is_infinite_rect(fillArea)) {
                if (steps) {
                    WriteTilePattern(ctx, s, list, tile, fillArea);
                } else {
                    fz_run_display_list(ctx, list, dev, fz_identity, fz_infinite_rect, nullptr);
                }
            }
        },
        [&] { fz_drop_display_list(ctx, list); });
}

void WriteShading(fz_context* ctx, DeviceState& s, fz_shade* shade, fz_matrix ctm, float alpha,
                  fz_rect visible) {
    const fz_matrix shadeCtm = fz_concat(shade->matrix, ctm);
    fz_rect clip = InverseTransformedRect(visible, shadeCtm);
    if (fz_is_empty_rect(clip) || fz_is_infinite_rect(clip)) return;
    // In a mask's group the shading's opacity alone is painted, as grey.
    const float opacity = AlphaAsLuminosity(s) ? 1 : ShadingOpacity(ctx, shade);
    char gs[48];
    if (opacity >= 0) {
        OpacityOperator(ctx, s, alpha * opacity, gs, sizeof gs);
    } else {
        // A varying opacity becomes a soft mask painted by a grey shading of the same shape.
        char name[32];
        std::snprintf(name, sizeof name, "XfSm%d", NextName(s));
        pdf_obj* state = AddShadingOpacityState(ctx, s.shared->doc, shade, clip, alpha);
        RunWithCleanup(
            ctx,
            [&] { AddNamedResource(ctx, s.target.resources, PDF_NAME(ExtGState), name, state); },
            [&] { pdf_drop_obj(ctx, state); });
        std::snprintf(gs, sizeof gs, "/%s gs\n", name);
    }
    char name[32];
    std::snprintf(name, sizeof name, "XfSh%d", NextName(s));
    pdf_obj* ref = AddPdfShading(ctx, s.shared->doc, shade, AlphaAsLuminosity(s));
    RunWithCleanup(
        ctx,
        [&] {
            AddNamedResource(ctx, s.target.resources, PDF_NAME(Shading), name, ref);
            char ops[96];
            std::snprintf(ops, sizeof ops, "%s/%s sh\n", gs, name);
            InjectUnderClip(ctx, s.target.device, s.target.contents, clip, shadeCtm, ops);
        },
        [&] { pdf_drop_obj(ctx, ref); });
}

// --- Callbacks -------------------------------------------------------------------------------

// The tolerance for refitting a path drawn under ctm, in the path's units; 0 (no refitting)
// while capturing, as that becomes pixels.
float RefitTolerance(const DeviceState& s, fz_matrix ctm) {
    const float scale = fz_matrix_expansion(ctm) * s.target.unitScale;
    if (Capturing(s) || !(scale > 0)) return 0;
    return kRefitTolerancePoints / scale;
}

void FillPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
              fz_colorspace* cs, const float* colour, float alpha, fz_color_params params) {
    DeviceState& s = State(dev);
    Paint paint = PaintFor(ctx, s, cs, colour);
    fz_path* refitted = RefitFlattenedCurves(ctx, path, RefitTolerance(s, ctm));
    const fz_path* drawn = refitted ? refitted : path;
    RunWithCleanup(
        ctx,
        [&] { fz_fill_path(ctx, Out(s), drawn, evenOdd, ctm, paint.cs, paint.colour, alpha, params); },
        [&] { fz_drop_path(ctx, refitted); });
}

// A stroke whose caps PDF cannot express is drawn with flat ends and its caps filled; a
// dashed one is cut into its dashes, each stroked with the cap it has at both ends where PDF
// has that cap, those between each subpath's first and last as one dashed line where they
// can. What is stroked is refitted with tolerance.
void StrokeWithOwnCaps(fz_context* ctx, fz_device* out, const fz_path* path,
                       const fz_stroke_state* stroke, fz_matrix ctm, float tolerance,
                       fz_colorspace* cs, const float* colour, float alpha,
                       fz_color_params params) {
    fz_stroke_state* capped = nullptr;
    DashedStroke cut;
    fz_path* refitted = nullptr;
    fz_path* shortCaps = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            if (HasDashes(stroke)) {
                cut = CutIntoDashes(ctx, path, stroke);
            } else {
                cut.dashes[FZ_LINECAP_BUTT] = fz_keep_path(ctx, path);
                cut.caps = StrokeCapShapes(ctx, path, stroke);
            }
            for (int cap = 0; cap < kDashCapKinds; ++cap) {
                const fz_path* lines = cut.dashes[cap];
                if (!lines) continue;
                // A new state each time: the output device takes the same state as unchanged.
                fz_drop_stroke_state(ctx, capped);
                capped = nullptr;
                capped = fz_clone_stroke_state(ctx, const_cast<fz_stroke_state*>(stroke));
                capped->dash_len = 0;
                capped->start_cap = capped->dash_cap = capped->end_cap =
                    static_cast<fz_linecap>(cap);
                fz_drop_path(ctx, refitted);
                refitted = nullptr;
                refitted = RefitFlattenedCurves(ctx, lines, tolerance);
                fz_stroke_path(ctx, out, refitted ? refitted : lines, capped, ctm, cs, colour,
                               alpha, params);
            }
            if (cut.middles) {
                fz_drop_stroke_state(ctx, capped);
                capped = nullptr;
                capped = fz_clone_stroke_state(ctx, const_cast<fz_stroke_state*>(stroke));
                const fz_linecap cap =
                    stroke->dash_cap < kDashCapKinds ? stroke->dash_cap : FZ_LINECAP_BUTT;
                capped->start_cap = capped->dash_cap = capped->end_cap = cap;
                capped->dash_phase = cut.middlePhase;
                fz_drop_path(ctx, refitted);
                refitted = nullptr;
                refitted = RefitFlattenedCurves(ctx, cut.middles, tolerance);
                fz_stroke_path(ctx, out, refitted ? refitted : cut.middles, capped, ctm, cs,
                               colour, alpha, params);
            }
            if (cut.caps) {
                shortCaps = RefitFlattenedCurves(ctx, cut.caps, tolerance, PathOrigin::Engine);
                fz_fill_path(ctx, out, shortCaps ? shortCaps : cut.caps, 0, ctm, cs, colour,
                             alpha, params);
            }
        },
        [&] {
            fz_drop_path(ctx, shortCaps);
            fz_drop_path(ctx, refitted);
            fz_drop_path(ctx, cut.caps);
            fz_drop_path(ctx, cut.middles);
            for (fz_path* dashes : cut.dashes) fz_drop_path(ctx, dashes);
            fz_drop_stroke_state(ctx, capped);
        });
}

void StrokePath(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                fz_matrix ctm, fz_colorspace* cs, const float* colour, float alpha,
                fz_color_params params) {
    DeviceState& s = State(dev);
    Paint paint = PaintFor(ctx, s, cs, colour);
    const float tolerance = RefitTolerance(s, ctm);
    if (!Capturing(s) && !HasPdfLineCaps(stroke)) {
        StrokeWithOwnCaps(ctx, s.target.device, path, stroke, ctm, tolerance, paint.cs,
                          paint.colour, alpha, params);
        return;
    }
    fz_path* refitted = RefitFlattenedCurves(ctx, path, tolerance);
    const fz_path* drawn = refitted ? refitted : path;
    RunWithCleanup(
        ctx,
        [&] {
            fz_stroke_path(ctx, Out(s), drawn, stroke, ctm, paint.cs, paint.colour, alpha, params);
        },
        [&] { fz_drop_path(ctx, refitted); });
}

// Every clip opens a container: counted while capturing, its bounds kept otherwise.
void OpenClip(DeviceState& s, fz_rect bounds) {
    if (Capturing(s)) {
        ++s.depth;
    } else {
        PushClip(s, bounds);
    }
}

void ClipPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
              fz_rect scissor) {
    DeviceState& s = State(dev);
    fz_path* refitted = RefitFlattenedCurves(ctx, path, RefitTolerance(s, ctm));
    const fz_path* drawn = refitted ? refitted : path;
    RunWithCleanup(
        ctx, [&] { fz_clip_path(ctx, Out(s), drawn, evenOdd, ctm, scissor); },
        [&] { fz_drop_path(ctx, refitted); });
    OpenClip(s, fz_bound_path(ctx, path, nullptr, ctm));
}

// Opens a container that the output device cannot express: what it holds becomes an image.
void OpenCapturedContainer(fz_context* ctx, DeviceState& s) {
    if (Capturing(s)) {
        ++s.depth;
    } else {
        StartCapture(ctx, s, CaptureKind::Region);
    }
}

// A mask whose brush is the stroke (or stroked text) in opaque white.
struct StrokeMaskShape {
    const fz_path* path;
    const fz_text* text;
    const fz_stroke_state* stroke;
    fz_matrix ctm;
};

fz_display_list* StrokeMask(fz_context* ctx, const StrokeMaskShape& shape) {
    fz_display_list* list = fz_new_display_list(ctx, fz_infinite_rect);
    fz_device* recorder = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            recorder = fz_new_list_device(ctx, list);
            if (shape.path) {
                fz_stroke_path(ctx, recorder, shape.path, shape.stroke, shape.ctm,
                               fz_device_gray(ctx), kWhite, 1, fz_default_color_params);
            } else {
                fz_stroke_text(ctx, recorder, shape.text, shape.stroke, shape.ctm,
                               fz_device_gray(ctx), kWhite, 1, fz_default_color_params);
            }
            fz_close_device(ctx, recorder);
        },
        [&] { fz_drop_device(ctx, recorder); }, [&] { fz_drop_display_list(ctx, list); });
    return list;
}

// PDF clips only to the inside of a path: a clip to a stroke becomes a soft mask that paints
// the stroke, over the content drawn within it.
void OpenStrokeClip(fz_context* ctx, DeviceState& s, const StrokeMaskShape& shape,
                    fz_rect scissor) {
    if (Capturing(s)) {
        ++s.depth;
        if (shape.path) {
            fz_clip_stroke_path(ctx, s.recorder, shape.path, shape.stroke, shape.ctm, scissor);
        } else {
            fz_clip_stroke_text(ctx, s.recorder, shape.text, shape.stroke, shape.ctm, scissor);
        }
        return;
    }
    fz_display_list* mask = StrokeMask(ctx, shape);
    RunUndoingOnFailure(
        ctx, [&] { StartCapture(ctx, s, CaptureKind::Masked); },
        [&] { fz_drop_display_list(ctx, mask); });
    s.mask = mask;
}

void ClipStrokePath(fz_context* ctx, fz_device* dev, const fz_path* path,
                    const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    OpenStrokeClip(ctx, State(dev), {path, nullptr, stroke, ctm}, scissor);
}

void NoteFonts(DeviceState& s, const fz_text* text) {
    for (fz_text_span* span = text->head; span; span = span->next) s.shared->fonts.Note(span->font);
}

// The text being written: whether its marked content is open, the codes its glyphs are to be
// written with, where its writing starts in the output, and the text as it is written, when
// that is not text itself (glyphs added, or taken apart to be drawn as outlines).
struct TextWriting {
    bool marked = false;
    std::vector<GlyphCode> codes;
    size_t from = 0;
    TextParts parts;
};

// Notes the glyphs of text written to the output (captured text is noted when its capture is
// written) and opens its marked content when it needs one.
TextWriting OpenText(fz_context* ctx, DeviceState& s, const fz_text* text, bool clip) {
    TextWriting writing;
    if (Capturing(s)) return writing;
    writing.marked = s.shared->text.Describe(text, clip, s.marking, writing.codes);
    writing.parts = ArrangeText(ctx, text, writing.codes);
    KeepWorded(writing.codes);
    if (writing.marked)
        OpenMarkedContent(ctx, s.target.device, s.target.contents, s.target.limit, s.marking.c_str());
    writing.from = fz_buffer_storage(ctx, s.target.contents, nullptr);
    return writing;
}

// What of text is written as text.
const fz_text* Worded(const TextWriting& writing, const fz_text* text) {
    return writing.parts.worded ? writing.parts.worded : text;
}

// Gives the glyphs just written their codes and closes the marked content.
void CloseText(fz_context* ctx, DeviceState& s, const TextWriting& writing) {
    if (!writing.codes.empty())
        (void)RecodeWrittenText(ctx, s.target.contents, writing.from, writing.codes);
    if (writing.marked) CloseMarkedContent(ctx, s.target.device, s.target.contents, s.target.limit);
}

// Draws the outlines of the glyphs that stand for no text: filled, or stroked with stroke.
void DrawWordless(fz_context* ctx, DeviceState& s, const TextWriting& writing,
                  const fz_stroke_state* stroke, fz_matrix ctm, const Paint& paint, float alpha,
                  fz_color_params params) {
    if (!writing.parts.wordless) return;
    fz_path* outlines = GlyphOutlines(ctx, writing.parts.wordless);
    if (!outlines) return;
    RunWithCleanup(
        ctx,
        [&] {
            if (stroke)
                fz_stroke_path(ctx, s.target.device, outlines, stroke, ctm, paint.cs, paint.colour, alpha, params);
            else
                fz_fill_path(ctx, s.target.device, outlines, 0, ctm, paint.cs, paint.colour, alpha, params);
        },
        [&] { fz_drop_path(ctx, outlines); });
}

// Writes slanted, the simulated-bold text, filled as a text object of its own in render mode
// (2: filled and stroked as wide as width, 3: invisible). False when the device's writing could
// not be edited: then it is written filled.
bool FillInMode(fz_context* ctx, DeviceState& s, const fz_text* slanted, float width, int mode,
                fz_matrix ctm, const Paint& paint, float alpha, fz_color_params params) {
    fz_device* device = s.target.device;
    fz_buffer* contents = s.target.contents;
    // Setting the stroke also ends the text object open before.
    const size_t stroked = fz_buffer_storage(ctx, contents, nullptr);
    SetBoldStroke(ctx, device, slanted, width, ctm, paint.cs, paint.colour, alpha, params);
    (void)DropWrittenLonePoint(ctx, contents, stroked);
    const size_t from = fz_buffer_storage(ctx, contents, nullptr);
    fz_fill_text(ctx, device, slanted, ctm, paint.cs, paint.colour, alpha, params);
    return SetWrittenTextMode(ctx, contents, from, mode);
}

// Fills text with simulated style. Bold text is written once, so that readers read it once:
// filled and stroked as one text object; translucent, invisible with its glyphs filled as their
// thickened outlines, as the renderer draws them, since MuPDF draws the fill and the stroke of a
// glyph as a knockout, which thins a thin translucent stroke to a seam. Filled, then stroked,
// as two objects when its spans are not bold alike or the device's writing is not as expected.
void FillStyledText(fz_context* ctx, DeviceState& s, const fz_text* text, fz_matrix ctm,
                    const Paint& paint, float alpha, fz_color_params params) {
    fz_text* slanted = WithItalicSlant(ctx, text);
    fz_path* outlines = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            const float width = UniformBoldWidth(slanted);
            const bool outlined = alpha < 1;
            if (width <= 0) {
                fz_fill_text(ctx, s.target.device, slanted, ctm, paint.cs, paint.colour, alpha, params);
            } else if (FillInMode(ctx, s, slanted, width, outlined ? 3 : 2, ctm, paint, alpha, params)) {
                if (outlined && (outlines = GlyphOutlines(ctx, text)))
                    fz_fill_path(ctx, s.target.device, outlines, 0, ctm, paint.cs, paint.colour, alpha, params);
                return;
            }
            StrokeSimulatedBold(ctx, s.target.device, slanted, ctm, paint.cs, paint.colour, alpha, params);
        },
        [&] {
            fz_drop_path(ctx, outlines);
            fz_drop_text(ctx, slanted);
        });
}

void FillText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
              fz_colorspace* cs, const float* colour, float alpha, fz_color_params params) {
    DeviceState& s = State(dev);
    NoteFonts(s, text);
    const Paint paint = PaintFor(ctx, s, cs, colour);
    TextWriting writing = OpenText(ctx, s, text, false);
    const fz_text* shown = Worded(writing, text);
    RunWithCleanup(
        ctx,
        [&] {
            if (Capturing(s) || !HasSimulatedStyle(shown)) {
                if (shown->head) fz_fill_text(ctx, Out(s), shown, ctm, paint.cs, paint.colour, alpha, params);
            } else {
                FillStyledText(ctx, s, shown, ctm, paint, alpha, params);
            }
            CloseText(ctx, s, writing);
            DrawWordless(ctx, s, writing, nullptr, ctm, paint, alpha, params);
        },
        [&] { DropTextParts(ctx, writing.parts); });
}

void StrokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                fz_matrix ctm, fz_colorspace* cs, const float* colour, float alpha,
                fz_color_params params) {
    DeviceState& s = State(dev);
    NoteFonts(s, text);
    Paint paint = PaintFor(ctx, s, cs, colour);
    TextWriting writing = OpenText(ctx, s, text, false);
    const fz_text* shown = Worded(writing, text);
    RunWithCleanup(
        ctx,
        [&] {
            if (shown->head)
                fz_stroke_text(ctx, Out(s), shown, stroke, ctm, paint.cs, paint.colour, alpha, params);
            CloseText(ctx, s, writing);
            DrawWordless(ctx, s, writing, stroke, ctm, paint, alpha, params);
        },
        [&] { DropTextParts(ctx, writing.parts); });
}

void ClipText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
              fz_rect scissor) {
    DeviceState& s = State(dev);
    NoteFonts(s, text);
    TextWriting writing = OpenText(ctx, s, text, true);
    const fz_text* shown = Worded(writing, text);
    RunWithCleanup(
        ctx,
        [&] {
            fz_clip_text(ctx, Out(s), shown, ctm, scissor);
            CloseText(ctx, s, writing);
        },
        [&] { DropTextParts(ctx, writing.parts); });
    OpenClip(s, fz_bound_text(ctx, text, nullptr, ctm));
}

void ClipStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text,
                    const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
    DeviceState& s = State(dev);
    NoteFonts(s, text);
    OpenStrokeClip(ctx, s, {nullptr, text, stroke, ctm}, scissor);
}

void IgnoreText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm) {
    DeviceState& s = State(dev);
    NoteFonts(s, text);
    // Glyphs that stand for no text are left out: unseen, they carry nothing.
    TextWriting writing = OpenText(ctx, s, text, false);
    const fz_text* shown = Worded(writing, text);
    RunWithCleanup(
        ctx,
        [&] {
            if (shown->head) fz_ignore_text(ctx, Out(s), shown, ctm);
            CloseText(ctx, s, writing);
        },
        [&] { DropTextParts(ctx, writing.parts); });
}

void FillShade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha,
               fz_color_params params) {
    DeviceState& s = State(dev);
    if (Capturing(s)) {
        fz_fill_shade(ctx, s.recorder, shade, ctm, alpha, params);
        return;
    }
    fz_rect visible = fz_intersect_rect(fz_bound_shade(ctx, shade, ctm), VisibleBounds(s));
    if (fz_is_empty_rect(visible)) return;
    if (IsExpressibleShading(ctx, shade)) {
        WriteShading(ctx, s, shade, ctm, alpha, visible);
    } else {
        ShadePaint paint{shade, ctm, alpha, params};
        PlaceRendered(ctx, s, visible, false, ShadePaint::Paint, &paint);
    }
}

// Smoothing as the engine's own page images would: an image's pixels are measured against
// page units (1/96 inch), the size at which it shows them one to one.
bool AsksForSmoothing(fz_context* ctx, const DeviceState& s, fz_image* image, fz_matrix ctm) {
    constexpr float kPointsPerUnit = 72.0f / 96;
    const float across = std::hypot(ctm.a, ctm.b) * s.target.unitScale / kPointsPerUnit;
    const float down = std::hypot(ctm.c, ctm.d) * s.target.unitScale / kPointsPerUnit;
    return SmoothingFor(ctx, image, across, down) == ImageSmoothing::Smooth;
}

// Images are placed by our own operators so that each distinct image is stored once.
void FillImage(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha,
               fz_color_params params) {
    DeviceState& s = State(dev);
    if (Capturing(s)) s.capturedImage = true;
    // A stated orientation (EXIF) is left unapplied by the page image and by the output device
    // alike, so such images are placed here too, with the cache's corrections.
    const bool placedByDevice = image->imagemask;
    if (!Capturing(s) && placedByDevice && AlphaAsLuminosity(s)) {
        // The output device would paint its colours into the mask: its coverage is drawn.
        ImagePaint paint{image, ctm, alpha, params};
        PlaceRendered(ctx, s, fz_transform_rect(fz_unit_rect, ctm), false, ImagePaint::Paint, &paint);
        return;
    }
    if (Capturing(s) || placedByDevice) {
        fz_fill_image(ctx, Out(s), image, ctm, alpha, params);
        return;
    }
    // The clip that sets the transformation covers everything visible, so it cuts nothing.
    fz_rect clip = InverseTransformedRect(s.target.limit, ctm);
    if (fz_is_empty_rect(clip) || fz_is_infinite_rect(clip)) return;
    clip = fz_union_rect(clip, fz_unit_rect);
    pdf_obj* ref = s.shared->images.ObjectFor(image);
    // The object is shared by every use: one use that asks for smoothing asks for all.
    if (!pdf_dict_get(ctx, ref, PDF_NAME(Interpolate)) && AsksForSmoothing(ctx, s, image, ctm)) {
        pdf_dict_put_bool(ctx, ref, PDF_NAME(Interpolate), 1);
    }
    if (AlphaAsLuminosity(s)) {
        // A mask takes the image's alpha: its soft mask as a grey image, or opaque white.
        ref = pdf_dict_get(ctx, ref, PDF_NAME(SMask));
        if (!ref) {
            char gs[48];
            OpacityOperator(ctx, s, alpha, gs, sizeof gs);
            char ops[96];
            std::snprintf(ops, sizeof ops, "%s1 g\n0 0 1 1 re\nf\n", gs);
            InjectUnderClip(ctx, s.target.device, s.target.contents, clip, ctm, ops);
            return;
        }
    }
    auto known = s.imageNames.find(ref);
    int number = known != s.imageNames.end() ? known->second : NextName(s);
    char name[32];
    std::snprintf(name, sizeof name, "XfIm%d", number);
    if (known == s.imageNames.end()) {
        AddNamedResource(ctx, s.target.resources, PDF_NAME(XObject), name, ref);
        s.imageNames.emplace(ref, number);
    }
    char gs[48];
    OpacityOperator(ctx, s, alpha, gs, sizeof gs);
    char ops[128];
    // An image's first row is at the top of its unit square here, at the bottom in PDF.
    std::snprintf(ops, sizeof ops, "%s1 0 0 -1 0 1 cm\n/%s Do\n", gs, name);
    InjectUnderClip(ctx, s.target.device, s.target.contents, clip, ctm, ops);
}

void FillImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm,
                   fz_colorspace* cs, const float* colour, float alpha, fz_color_params params) {
    DeviceState& s = State(dev);
    Paint paint = PaintFor(ctx, s, cs, colour);
    fz_fill_image_mask(ctx, Out(s), image, ctm, paint.cs, paint.colour, alpha, params);
}

void ClipImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm,
                   fz_rect scissor) {
    DeviceState& s = State(dev);
    fz_clip_image_mask(ctx, Out(s), image, ctm, scissor);
    OpenClip(s, fz_transform_rect(fz_unit_rect, ctm));
}

void PopClip(fz_context* ctx, fz_device* dev) {
    DeviceState& s = State(dev);
    if (!Capturing(s)) {
        if (!s.clips.empty()) s.clips.pop_back();
        fz_pop_clip(ctx, s.target.device);
        return;
    }
    // Our own masks open without a mark in the capture, so they close without one.
    const bool ownMask = s.capture == CaptureKind::Masked || s.capture == CaptureKind::MaskBrush;
    if (!(ownMask && s.depth == 1)) fz_pop_clip(ctx, s.recorder);
    if (--s.depth == 0) FinishCapture(ctx, s);
}

// A mask by alpha (all that XPS has) is kept as a soft mask; a mask by luminosity becomes
// an image with what it masks.
void BeginMask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs,
               const float* backdrop, fz_color_params params) {
    DeviceState& s = State(dev);
    if (!Capturing(s) && !luminosity) {
        StartCapture(ctx, s, CaptureKind::MaskBrush);
        return;
    }
    OpenCapturedContainer(ctx, s);
    fz_begin_mask(ctx, s.recorder, area, luminosity, cs, backdrop, params);
}

// The end of the brush of our own mask starts the capture of the content it masks.
void EndMask(fz_context* ctx, fz_device* dev) {
    DeviceState& s = State(dev);
    if (s.capture != CaptureKind::MaskBrush || s.depth != 1) {
        fz_end_mask(ctx, Out(s));
        return;
    }
    fz_display_list* mask = TakeCapture(ctx, s);
    RunUndoingOnFailure(
        ctx, [&] { StartCapture(ctx, s, CaptureKind::Masked); },
        [&] { fz_drop_display_list(ctx, mask); });
    s.mask = mask;
}

void BeginGroup(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated,
                int knockout, int blendmode, float alpha) {
    DeviceState& s = State(dev);
    OpenCapturedContainer(ctx, s);
    fz_begin_group(ctx, s.recorder, area, cs, isolated, knockout, blendmode, alpha);
}

void EndGroup(fz_context* ctx, fz_device* dev) {
    DeviceState& s = State(dev);
    if (!Capturing(s)) {
        fz_end_group(ctx, s.target.device);
        return;
    }
    fz_end_group(ctx, s.recorder);
    if (--s.depth == 0) FinishCapture(ctx, s);
}

int BeginTile(fz_context* ctx, fz_device* dev, fz_rect area, fz_rect view, float xstep, float ystep,
              fz_matrix ctm, int id) {
    DeviceState& s = State(dev);
    if (Capturing(s)) {
        ++s.depth;
        return fz_begin_tile_id(ctx, s.recorder, area, view, xstep, ystep, ctm, id);
    }
    StartCapture(ctx, s, CaptureKind::Tile);
    s.tile = {area, view, xstep, ystep, ctm};
    return 0;  // the content is always sent, and captured
}

void EndTile(fz_context* ctx, fz_device* dev) {
    DeviceState& s = State(dev);
    if (!Capturing(s)) {
        fz_end_tile(ctx, s.target.device);
        return;
    }
    if (s.capture == CaptureKind::Tile && s.depth == 1) {
        FinishTile(ctx, dev, s);
        return;
    }
    fz_end_tile(ctx, s.recorder);
    if (--s.depth == 0) FinishCapture(ctx, s);
}

void RenderFlags(fz_context* ctx, fz_device* dev, int set, int clear) {
    fz_render_flags(ctx, Out(State(dev)), set, clear);
}

void SetDefaultColourSpaces(fz_context* ctx, fz_device* dev, fz_default_colorspaces* spaces) {
    fz_set_default_colorspaces(ctx, Out(State(dev)), spaces);
}

void BeginLayer(fz_context* ctx, fz_device* dev, const char* name) {
    fz_begin_layer(ctx, Out(State(dev)), name);
}

void EndLayer(fz_context* ctx, fz_device* dev) { fz_end_layer(ctx, Out(State(dev))); }

// A page cut short leaves a capture open: what it holds is still written.
void CloseDevice(fz_context* ctx, fz_device* dev) {
    DeviceState& s = State(dev);
    while (Capturing(s)) {
        if (s.capture == CaptureKind::Tile && s.depth == 1) {
            FinishTile(ctx, dev, s);
        } else if (s.depth == 1) {
            FinishCapture(ctx, s);
        } else {
            // Closing the inner containers first keeps the recorded list well formed.
            --s.depth;
            fz_pop_clip(ctx, s.recorder);
        }
    }
}

void DropDevice(fz_context* ctx, fz_device* dev) {
    DeviceState* s = reinterpret_cast<FaithfulDevice*>(dev)->state;
    if (!s) return;
    fz_drop_device(ctx, s->recorder);
    fz_drop_display_list(ctx, s->captured);
    fz_drop_display_list(ctx, s->mask);
    delete s;
}

}  // namespace

fz_device* NewFaithfulPdfDevice(fz_context* ctx, FaithfulPdfState& state,
                                const FaithfulTarget& target) {
    auto* dev = fz_new_derived_device(ctx, FaithfulDevice);
    // Made without throwing: an exception must not leave through the library's frames. Its
    // containers start empty and grow only in the callbacks, which catch what they throw.
    dev->state = new (std::nothrow) DeviceState;
    if (!dev->state) {
        fz_drop_device(ctx, &dev->super);
        fz_throw(ctx, FZ_ERROR_MEMORY, "malloc of engine data failed");
    }
    dev->state->shared = &state;
    dev->state->target = target;

    dev->super.close_device = ShieldedCallback<CloseDevice>::Call;
    dev->super.drop_device = ShieldedCallback<DropDevice>::Call;
    dev->super.fill_path = ShieldedCallback<FillPath>::Call;
    dev->super.stroke_path = ShieldedCallback<StrokePath>::Call;
    dev->super.clip_path = ShieldedCallback<ClipPath>::Call;
    dev->super.clip_stroke_path = ShieldedCallback<ClipStrokePath>::Call;
    dev->super.fill_text = ShieldedCallback<FillText>::Call;
    dev->super.stroke_text = ShieldedCallback<StrokeText>::Call;
    dev->super.clip_text = ShieldedCallback<ClipText>::Call;
    dev->super.clip_stroke_text = ShieldedCallback<ClipStrokeText>::Call;
    dev->super.ignore_text = ShieldedCallback<IgnoreText>::Call;
    dev->super.fill_shade = ShieldedCallback<FillShade>::Call;
    dev->super.fill_image = ShieldedCallback<FillImage>::Call;
    dev->super.fill_image_mask = ShieldedCallback<FillImageMask>::Call;
    dev->super.clip_image_mask = ShieldedCallback<ClipImageMask>::Call;
    dev->super.pop_clip = ShieldedCallback<PopClip>::Call;
    dev->super.begin_mask = ShieldedCallback<BeginMask>::Call;
    dev->super.end_mask = ShieldedCallback<EndMask>::Call;
    dev->super.begin_group = ShieldedCallback<BeginGroup>::Call;
    dev->super.end_group = ShieldedCallback<EndGroup>::Call;
    dev->super.begin_tile = ShieldedCallback<BeginTile>::Call;
    dev->super.end_tile = ShieldedCallback<EndTile>::Call;
    dev->super.render_flags = ShieldedCallback<RenderFlags>::Call;
    dev->super.set_default_colorspaces = ShieldedCallback<SetDefaultColourSpaces>::Call;
    dev->super.begin_layer = ShieldedCallback<BeginLayer>::Call;
    dev->super.end_layer = ShieldedCallback<EndLayer>::Call;
    return &dev->super;
}

RecordedForm RecordForm(fz_context* ctx, FaithfulPdfState& state, fz_display_list* list,
                        fz_matrix ctm, const FormSpace& space, bool startWhite) {
    RecordedForm form{pdf_new_dict(ctx, state.doc, 4), nullptr};
    fz_device* output = nullptr;
    fz_device* faithful = nullptr;
    RunWithCleanup(
        ctx,
        [&] {
            form.contents = fz_new_buffer(ctx, 1024);
            // A form drawn by Do takes the dash pattern in force where it is drawn, while the
            // output device takes it to start solid.
            fz_append_string(ctx, form.contents, "[]0 d\n");
            if (startWhite) fz_append_string(ctx, form.contents, "1 g\n1 G\n");
            output = pdf_new_pdf_device(ctx, state.doc, fz_identity, form.resources, form.contents);
            FaithfulTarget inner{output,      form.resources, form.contents,
                                 fz_identity, space.view,     space.unitScale};
            inner.alphaAsLuminosity = space.alphaAsLuminosity;
            faithful = NewFaithfulPdfDevice(ctx, state, inner);
            fz_run_display_list(ctx, list, faithful, ctm, fz_infinite_rect, nullptr);
            fz_close_device(ctx, faithful);
            fz_close_device(ctx, output);
        },
        [&] {
            fz_drop_device(ctx, faithful);
            fz_drop_device(ctx, output);
        },
        [&] {
            fz_drop_buffer(ctx, form.contents);
            pdf_drop_obj(ctx, form.resources);
        });
    return form;
}

}  // namespace engine
