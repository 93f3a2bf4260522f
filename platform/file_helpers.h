#pragma once
// Small file-system routines over the platform calls, with the path capacity the converter
// keeps to.

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace platform {

// A path the converter builds (a folder's documents, their sub-folders, the outputs beside them)
// is taken as long as the system takes it; a longer one is refused by name, never cut.
constexpr size_t kPathCapacity = kLongestSystemPath;

// Full path of fileName in the running program's folder.
std::string PathBesideProgram(const std::string& fileName);
// 1 when the path names a file that can be opened for reading, else 0.
int FileExists(const std::string& path);
// 1 when the path names a folder that can be entered, else 0.
int FolderExists(const std::string& path);
// Creates every folder named by the text before each separator, left to right, ignoring
// failures. Only a path that ends in a separator gets its last folder created.
void CreateFolderPath(const std::string& path);

}  // namespace platform
