#pragma once
// Has the engine draw every page of a document as a 24-bit BMP into the page folder.

#include <string>

#include "app/settings.h"

// The page file template: folder, base name, "_%03d.bmp". A '%' of the base name is doubled so
// that the engine takes it literally.
std::string PageFileTemplate(const std::string& pageFolder, const std::string& baseName);
std::string BuildRasterCommandLine(const std::string& inputPath, const std::string& pageTemplate,
                                   const Settings& settings);
// Returns the runner's result (1, or -2 when the engine could not be started); engineSucceeded
// tells whether every page rendered.
int RunRasterJob(const std::string& inputPath, const std::string& baseName,
                 const std::string& pageFolder, const Settings& settings, bool* engineSucceeded);
