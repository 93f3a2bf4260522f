#include "platform/file_helpers.h"

#include "platform/platform.h"

namespace platform {

std::string PathBesideProgram(const std::string& fileName) {
    return ProgramFolder() + fileName;
}

int FileExists(const std::string& path) {
    if (path.empty() || path.size() > kPathCapacity) return 0;
    return FileReadable(path) ? 1 : 0;
}

int FolderExists(const std::string& path) {
    if (path.empty() || path.size() > kPathCapacity) return 0;
    return FolderEnterable(path) ? 1 : 0;
}

void CreateFolderPath(const std::string& path) {
    if (path.empty()) return;
    for (size_t i = 0; i < path.size(); ++i) {
        // The text before the first separator of an absolute path is empty: nothing to make.
        if (path[i] == kSeparator && i > 0) MakeFolder(path.substr(0, i));
    }
}

}  // namespace platform
