#include "app/file_helpers.h"

#include "app/settings.h"
#include "platform/platform.h"

size_t TrimSpaces(std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return 0;
    }
    const size_t last = text.find_last_not_of(' ');
    text = text.substr(first, last - first + 1);
    return text.size();
}

std::string PathBesideProgram(const std::string& fileName) {
    std::string path = platform::ProgramFolder() + fileName;
    AssignCapped(path, std::string(path), kPathCapacity);
    return path;
}

int FileExists(const std::string& path) {
    if (path.empty() || path.size() > kPathCapacity) return 0;
    return platform::FileReadable(path) ? 1 : 0;
}

int FolderExists(const std::string& path) {
    if (path.empty() || path.size() > kPathCapacity) return 0;
    return platform::FolderEnterable(path) ? 1 : 0;
}

void CreateFolderPath(const std::string& path) {
    if (path.empty()) return;
    for (size_t i = 0; i < path.size(); ++i) {
        // The text before the first separator of an absolute path is empty: nothing to make.
        if (path[i] == platform::kSeparator && i > 0) platform::MakeFolder(path.substr(0, i));
    }
}
