#pragma once
// Axial and radial shadings as PDF shading dictionaries.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

namespace engine {

// True when shade can be written as a PDF axial or radial shading: a one-input colour
// function, a device colour space, and full opacity along the whole function.
bool IsExpressibleShading(fz_context* ctx, const fz_shade* shade);

// Adds shade (which must be expressible) as a type 2 or type 3 shading with a sampled
// function, in the shade's own coordinate space. Returns a new reference; throws library
// errors.
pdf_obj* AddPdfShading(fz_context* ctx, pdf_document* doc, const fz_shade* shade);

}  // namespace engine
