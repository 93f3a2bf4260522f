#pragma once
// Axial and radial shadings as PDF shading dictionaries.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

namespace engine {

// True when shade can be written as a PDF axial or radial shading: a one-input colour
// function and a device colour space.
bool IsExpressibleShading(fz_context* ctx, const fz_shade* shade);

// The opacity along shade's function: -1 when it varies, else its one value.
float ShadingOpacity(fz_context* ctx, const fz_shade* shade);

// Adds shade (which must be expressible) as a type 2 or type 3 shading with a sampled
// function, in the shade's own coordinate space: of its colours, or (opacity true) of its
// opacity as DeviceGray. Returns a new reference; throws library errors.
pdf_obj* AddPdfShading(fz_context* ctx, pdf_document* doc, const fz_shade* shade, bool opacity);

// A graphics state for painting shade with a varying opacity: a luminosity soft mask whose
// group paints the opacity shading over bbox (in the shade's space), and the fill opacity
// alpha. Returns a new reference; throws library errors.
pdf_obj* AddShadingOpacityState(fz_context* ctx, pdf_document* doc, const fz_shade* shade,
                                fz_rect bbox, float alpha);

}  // namespace engine
