#pragma once
// Whether a document was converted before: every output it would have exists. Outputs appear
// under their names only once complete, so an existing file is a finished one; a document cut
// off half-way lacks some of its files.

#include <string>

#include "driver/document_context.h"
#include "settings/settings.h"

// The engine command line that asks how many pages inputPath has.
std::string BuildPageCountCommandLine(const std::string& inputPath);
// The one output file of a document (base name baseName, into outputFolder): the PDF or the
// multi-page TIFF; empty when it writes one file per page.
std::string SingleOutputPath(const Settings& settings, const std::string& outputFolder, const std::string& baseName);
// True when every output of input (base name baseName, into outputFolder) is there: the PDF,
// the multi-page TIFF, or one file per page, the pages counted by the engine. Then the outputs
// and the page count (when known) are in the context.
bool OutputsInPlace(const Settings& settings, const std::string& input, const std::string& outputFolder,
                    const std::string& baseName, DocumentContext& context);
