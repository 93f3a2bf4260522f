#pragma once
// The per-format routines of the convert operation and the preparation steps they share.
// Each routine returns true when its output file was written.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/page_steps.h"

class CxImage;
struct ImageConverter;

// BMP, JPEG, PNG, GIF, PCX, TGA, JP2, RAS and JPC: the first input file to one output file.
bool RunRasterFormatRoutine(ImageConverter& converter);
// TIFF: one input file saved alone.
bool RunTiffFormatRoutine(ImageConverter& converter, const std::string& inputFile);
// Multi-page TIFF, in two steps so that pages can be encoded on several threads: one input file
// loaded, prepared and encoded into bytes as page pageNumber (a page that cannot be loaded is
// not encoded), then those bytes appended to the converter's multi-page file, opened under a
// temporary name on the first page. Each step returns true when it succeeded.
bool EncodeMultiPageTiffPage(ImageConverter& converter, const std::string& inputFile, int32_t pageNumber,
                             std::vector<uint8_t>& bytes);
bool AppendMultiPageTiffPage(ImageConverter& converter, const std::vector<uint8_t>& bytes);
// Finishes the multi-page file (closes and renames it); true when nothing failed.
bool FinishMultiPageTiff(ImageConverter& converter);
bool RunEmfFormatRoutine(ImageConverter& converter);
bool RunWmfFormatRoutine(ImageConverter& converter);

// Records why the output or page failed in the converter's last error text; returns false.
bool FailWith(ImageConverter& converter, std::string_view text);

// "cannot rotate the page: CXIMAGE_MAX_MEMORY exceeded" from what and the image's text.
bool FailPreparing(ImageConverter& converter, const CxImage& image, std::string_view what);
