#pragma once
// Whether an image drawn larger than its pixels is smoothed or shown as sharp blocks. One rule
// serves the PDF (its images' /Interpolate flag, which viewers follow) and the page images
// (the draw device's interpolation), so that a barcode stays scannable in both.

#include <mupdf/fitz.h>

namespace engine {

enum class ImageSmoothing {
    NotEnlarged,  // shown no larger than its pixels: nothing to decide
    Sharp,        // each pixel a hard-edged block
    Smooth,       // pixels blended into each other
};

// The rule, for an image shown `across` by `down` output pixels in all (for the PDF, page units
// of 1/96 inch, at which an image shows its pixels one to one):
// - no more than half a pixel larger than its pixels in both directions: NotEnlarged;
// - otherwise Sharp when the image is bilevel (an image mask, or 1 bit per component);
// - or when it has at most 16 distinct colours (its palette's size, else counted);
// - or when it has at most 256 distinct colours and is enlarged by a whole factor k >= 2 in
//   both directions (within 1 % of k): line art meant to show its pixels;
// - otherwise Smooth: a photo, or an image of over 4 megapixels, whose colours are not counted.
// Colours are counted on the decoded image, alpha included; one that cannot be decoded counts
// as a photo. Throws no library error.
ImageSmoothing SmoothingFor(fz_context* ctx, fz_image* image, float across, float down);

}  // namespace engine
