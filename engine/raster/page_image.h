#pragma once
// One page's BMP file, drawn from its recording.

#include <mupdf/fitz.h>

#include <string>
#include <vector>

#include "engine/runtime/engine_options.h"
#include "engine/raster/page_recording.h"

namespace engine {

struct PageImageResult {
    bool written = false;     // the file is complete and in place
    bool rendered = false;    // every band drew without error
    std::string error;        // why the file was not written
    std::string renderError;  // why a band did not draw
};

// Memory for the bands of a page, kept from page to page by the thread that draws them, so
// that every page does not fault in fresh memory from the system.
using BandMemory = std::vector<unsigned char>;

// Draws recording at the options' resolution into a file that appears at path only when it
// is complete; white wherever drawing failed. ctx may be any context sharing the recording's
// library state, so that pages can be drawn on several threads.
PageImageResult WritePageImage(fz_context* ctx, const PageRecording& recording,
                               const EngineOptions& options, const std::string& path,
                               BandMemory& memory);

}  // namespace engine
