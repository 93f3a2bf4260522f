#pragma once
// Has the engine draw every page of a document as a 24-bit BMP into the page folder.

#include <string>

#include "settings/settings.h"

// The page file template: folder, base name, "_%03d.bmp". A '%' of the base name is doubled so
// that the engine takes it literally.
std::string PageFileTemplate(const std::string& pageFolder, const std::string& baseName);
std::string BuildRasterCommandLine(const std::string& inputPath, const std::string& pageTemplate,
                                   const Settings& settings);
// The engine's environment variable that holds its page backlog: how many finished page files
// may wait unconverted before it draws the next page.
constexpr const char* kPageBacklogVariable = "XPSCONV_PAGE_BACKLOG";

// Returns the runner's result (1, or -2 when the engine could not be started); engineSucceeded
// tells whether every page rendered. With a pageBacklog above 0 the engine waits while that many
// of its page files are still in the page folder, so that a slow converter cannot let the
// rendered pages fill the disk.
// engineExitCode, when given, receives the engine's exit code (see renderer.h).
int RunRasterJob(const std::string& inputPath, const std::string& baseName,
                 const std::string& pageFolder, const Settings& settings, bool* engineSucceeded,
                 int pageBacklog = 0, int* engineExitCode = nullptr);
