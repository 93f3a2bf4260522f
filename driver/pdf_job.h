#pragma once
// One document to one PDF: the engine writes it, the post-processor stamps the overlay.

#include <string>

#include "app/settings.h"
#include "driver/post_processor.h"

// The engine command line, every text quoted so it reaches the engine unchanged.
std::string BuildPdfCommandLine(const std::string& inputPath, const std::string& outputPath,
                                const Settings& settings);
// True when the PDF exists afterwards and post-processing (when it ran) succeeded. A failure
// is reported on standard error.
bool RunPdfJob(const std::string& inputPath, const std::string& outputPath, const Settings& settings,
               const PostProcessor& postProcessor);
