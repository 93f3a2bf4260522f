#pragma once
// Parts of a page that the PDF output cannot express are drawn into an image.

#include <mupdf/fitz.h>

namespace engine {

// Draws a region's content onto device; ctm is to be concatenated after the content's own
// transformations.
using RegionPainter = void (*)(fz_context* ctx, fz_device* device, fz_matrix ctm, void* arg);

struct RegionImage {
    fz_image* image = nullptr;  // nullptr when nothing visible was drawn
    fz_matrix placement;        // maps the image's unit square onto the region
};

// Draws the area of the painter's content that falls in bounds (device space, in points)
// at 300 dots per inch times unitScale, less where the image would pass 16 megapixels.
// Transparent where nothing was painted; the alpha is dropped when every pixel is opaque.
// Photographic content is kept as JPEG (its alpha, if any, as a lossless mask), anything else
// losslessly. Throws library errors.
// With coverageOnly the image is white wherever something was painted, keeping its alpha.
RegionImage RenderRegion(fz_context* ctx, fz_rect bounds, float unitScale, bool photographic,
                         RegionPainter painter, void* arg, bool coverageOnly = false);

// The bounds of what list marks, as its clips and masks leave it.
fz_rect MarkedBounds(fz_context* ctx, fz_display_list* list);

}  // namespace engine
