#pragma once
// Writing our own operators into a content stream that MuPDF's PDF output device is filling.
// The device keeps its transformation, colour and text state to itself; the one state we can
// set from outside is the transformation, by opening a clip through the device. Inside that
// clip, and between q and Q, our operators see a known transformation and leave the device's
// own state as it was.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

namespace engine {

// Writes ops (complete operators, each ending in a newline) so that they run with the
// transformation ctm, clipped to clipRect given in ctm's space. Throws library errors.
void InjectUnderClip(fz_context* ctx, fz_device* target, fz_buffer* contents, fz_rect clipRect,
                     fz_matrix ctm, const char* ops);

// Opens marked content (marking is the complete "... BDC" operator) for what is drawn next,
// inside a clip to visible (in the device's space) so that it nests within q and Q and stands
// outside any text object. Close it with CloseMarkedContent. Throw library errors.
void OpenMarkedContent(fz_context* ctx, fz_device* target, fz_buffer* contents, fz_rect visible,
                       const char* marking);
void CloseMarkedContent(fz_context* ctx, fz_device* target, fz_buffer* contents, fz_rect visible);

// Puts ref into resources under category (Shading, Pattern, XObject, ExtGState) as name.
void AddNamedResource(fz_context* ctx, pdf_obj* resources, pdf_obj* category, const char* name,
                      pdf_obj* ref);

// A new graphics state dictionary setting the fill and stroke opacity; a new reference.
pdf_obj* AddOpacityState(fz_context* ctx, pdf_document* doc, float alpha);

// The rectangle inverse(ctm) maps rect into, or an empty rect when ctm cannot be inverted.
fz_rect InverseTransformedRect(fz_rect rect, fz_matrix ctm);

}  // namespace engine
