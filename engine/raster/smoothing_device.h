#pragma once
// A device in front of a draw device that has it smooth each enlarged image or not by the
// engine's smoothing rule (the draw device by itself smooths every enlarged image).

#include <mupdf/fitz.h>

namespace engine {

// Passes everything on to target, which stays the caller's: close both, drop both.
fz_device* NewSmoothingDevice(fz_context* ctx, fz_device* target);

}  // namespace engine
