#pragma once
// One document to one PDF: the engine writes it under a temporary name, the post-processor
// stamps the overlay into that file, and only the finished file is renamed into place.

#include <string>

#include "driver/document_context.h"
#include "driver/post_processor.h"
#include "settings/settings.h"

// The engine command line, every text quoted so it reaches the engine unchanged. The owner
// password, when the user gave none, is the one given here (see FreshOwnerPassword).
std::string BuildPdfCommandLine(const std::string& inputPath, const std::string& outputPath,
                                const Settings& settings, const std::string& defaultOwnerPassword);
// A new owner password of 32 hexadecimal digits from the system's random source, so that no
// two files share one and nobody can lift a file's restrictions with a known word. Empty when
// the random source failed.
std::string FreshOwnerPassword();
// True when the PDF was written complete and post-processing (when it ran) succeeded. A failure
// goes into the document's log and leaves an older file of the name as it was; a PDF written
// (complete or not) is added to the context's outputs.
bool RunPdfJob(const std::string& inputPath, const std::string& outputPath, const Settings& settings,
               const PostProcessor& postProcessor, DocumentContext& context);
