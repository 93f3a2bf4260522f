#pragma once
// A device in front of MuPDF's PDF output device. Paths, text, images and clips pass through;
// what that device drops or cannot express is turned into what it can: axial and radial
// shadings become PDF shadings, tiled brushes become PDF tiling patterns, opacity masks and
// brushes painted through a stroke become soft-masked transparency groups, and transparency
// groups and other shadings are drawn into images placed where they were.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include "engine/pdf/pdf_font_widths.h"
#include "engine/pdf/pdf_image_cache.h"
#include "engine/pdf/pdf_text_layer.h"

namespace engine {

// What the devices of one document share.
struct FaithfulPdfState {
    FaithfulPdfState(fz_context* ctx, pdf_document* pdf)
        : doc(pdf), images(ctx, pdf), fonts(ctx), text(ctx) {}
    pdf_document* doc;
    PdfImageCache images;
    PdfFontWidths fonts;
    PdfTextLayer text;
    int nextName = 0;  // our resource names are numbered across the document, so never clash
};

// The content stream a device writes into.
struct FaithfulTarget {
    fz_device* device;    // MuPDF's PDF output device writing the stream
    pdf_obj* resources;   // the stream's resource dictionary
    fz_buffer* contents;  // the stream that device appends to
    fz_matrix base;       // maps the device's space onto the stream's default space
    fz_rect limit;        // the part of the device's space that can be seen
    float unitScale;      // length on the page of one unit of the device's space, in points
    // The stream is a soft mask's group: everything is painted white, keeping its alpha, so
    // that the luminosity over the group's black backdrop is the alpha of what was drawn.
    bool alphaAsLuminosity = false;
};

// A new device writing through target. It does not own the target: close this device first,
// then the target's.
fz_device* NewFaithfulPdfDevice(fz_context* ctx, FaithfulPdfState& state,
                                const FaithfulTarget& target);

// The space a recorded form draws in: view is the part that can be seen, unitScale the length
// on the page of one of its units, alphaAsLuminosity as for FaithfulTarget.
struct FormSpace {
    fz_rect view;
    float unitScale;
    bool alphaAsLuminosity;
};

// A new content stream and its resources; the caller drops both.
struct RecordedForm {
    pdf_obj* resources;
    fz_buffer* contents;
};

// Draws list, transformed by ctm, through a device like the page's own into a new content
// stream (a form's or a pattern's cell), so that shadings, tiles and masks inside stay what
// they are. With startWhite the stream first sets white, as the output device assumes a new
// stream starts. Throws library errors.
RecordedForm RecordForm(fz_context* ctx, FaithfulPdfState& state, fz_display_list* list,
                        fz_matrix ctm, const FormSpace& space, bool startWhite);

}  // namespace engine
