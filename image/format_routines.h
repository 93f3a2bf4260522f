#pragma once
// The per-format routines of the convert operation and the preparation steps they share.
// Each routine returns true when its output file was written.

#include <cstdint>
#include <string>

class CxImage;
struct ImageConverter;

// BMP, JPEG, PNG, GIF, PCX, TGA, JP2, RAS and JPC: the first input file to one output file.
bool RunRasterFormatRoutine(ImageConverter& converter);
// TIFF: one input file, either saved alone or appended to the multi-page file.
bool RunTiffFormatRoutine(ImageConverter& converter, const std::string& inputFile);
// Finishes the multi-page file (closes and renames it); true when nothing failed.
bool FinishMultiPageTiff(ImageConverter& converter);
bool RunEmfFormatRoutine(ImageConverter& converter);
bool RunWmfFormatRoutine(ImageConverter& converter);

// Shared preparation steps.
void ApplyPaletteReduction(CxImage& image, int32_t paletteDepth);  // depth 1, 4 or 8
void ApplyRotationStep(CxImage& image, int32_t rotation);
