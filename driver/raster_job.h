#pragma once
// Has the engine draw every page of a document as a 24-bit BMP into the page folder.

#include <string>

#include "driver/renderer.h"
#include "settings/settings.h"

// The engine command line for the pages of inputPath, named by the page file template
// (protocol::PageFileTemplate).
std::string BuildRasterCommandLine(const std::string& inputPath, const std::string& pageTemplate,
                                   const Settings& settings);

// Returns the runner's result (1, or -2 when the engine could not be started); engineSucceeded
// tells whether every page rendered, engineExitCode (when given) the engine's exit code. The
// engine announces every page file once it is complete (options.pageDone). With a pageBacklog
// above 0 it starts no page while that many announced files have not been taken (said through
// options.input), so that a slow converter cannot let the rendered pages fill the disk.
int RunRasterJob(const std::string& inputPath, const std::string& baseName,
                 const std::string& pageFolder, const Settings& settings, bool* engineSucceeded,
                 int* engineExitCode, int pageBacklog, RendererOptions options);
