#pragma once
// Bold and italic that the reader simulates for a font that lacks them. The glyphs are drawn
// slanted or thickened at rendering time, which a font embedded in a PDF cannot carry; the
// slant is put into the text's matrix instead and the thickening drawn as an outline stroke
// around the glyphs, so the text stays text.

#include <mupdf/fitz.h>

namespace engine {

// True when some span of text is in a font with simulated bold or italic.
bool HasSimulatedStyle(const fz_text* text);

// A copy of text whose simulated-italic spans are slanted in their matrices. Throws.
fz_text* WithItalicSlant(fz_context* ctx, const fz_text* text);

// The width of the stroke that thickens text, when every span of it with glyphs has simulated
// bold of one width; 0 otherwise.
float UniformBoldWidth(const fz_text* text);

// Sets the device's stroke to the given width, colour and alpha, marking nothing; what the
// device writes for it ends with a lone point ("x y m", "S"). Throws library errors.
void SetBoldStroke(fz_context* ctx, fz_device* device, const fz_text* text, float width,
                   fz_matrix ctm, fz_colorspace* cs, const float* colour, float alpha,
                   fz_color_params params);

// Strokes the glyphs of text's simulated-bold spans as wide as the simulation thickens them.
// Throws library errors.
void StrokeSimulatedBold(fz_context* ctx, fz_device* device, const fz_text* text, fz_matrix ctm,
                         fz_colorspace* cs, const float* colour, float alpha,
                         fz_color_params params);

}  // namespace engine
