#pragma once
// Steps that bring a page to its output's colours and orientation. False when the image could
// not be changed (no memory for the new pixels), with the image's last error text saying why; a
// page already at or below the palette depth is left as it is and counts as done.

#include <cstdint>

class CxImage;

bool ApplyPaletteReduction(CxImage& image, int32_t paletteDepth);  // depth 1, 4 or 8
bool ApplyRotationStep(CxImage& image, int32_t rotation);
