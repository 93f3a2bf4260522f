#pragma once
// Content under an opacity mask as PDF transparency: the content becomes a transparency group
// (a form XObject) painted through a luminosity soft mask whose group paints the mask. An XPS
// mask works by the alpha of its brush, so the mask's group is drawn with every colour made
// white over a black backdrop: the luminosity that results is the brush's alpha.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include "engine/pdf/faithful_pdf_device.h"

namespace engine {

// Writes content masked by mask (both in the target's device space) into the target's stream,
// within bounds. Throws library errors.
void WriteMaskedGroup(fz_context* ctx, FaithfulPdfState& state, const FaithfulTarget& target,
                      fz_display_list* content, fz_display_list* mask, fz_rect bounds);

}  // namespace engine
