#include "app/input_collection.h"

#include <cctype>

#include "app/file_helpers.h"
#include "platform/platform.h"

int IsXpsFile(const std::string& path) {
    const size_t separator = path.rfind(platform::kSeparator);
    const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return 0;
    const std::string extension = path.substr(dot);
    if (extension.size() != 4) return 0;
    const char* expected = ".xps";
    for (size_t i = 0; i < 4; ++i) {
        if (std::tolower(static_cast<unsigned char>(extension[i])) != expected[i]) return 0;
    }
    return 1;
}

void AddFolderFiles(std::string folder, FileList& files) {
    if (folder.empty() || folder.back() != platform::kSeparator) folder += platform::kSeparator;
    if (folder.size() > kPathCapacity) return;
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder(folder, entries)) return;
    for (const platform::FolderEntry& entry : entries) {
        if (entry.isFolder) continue;
        const std::string path = folder + entry.name;
        if (path.size() <= kPathCapacity && IsXpsFile(path)) files.push_back(path);
    }
}

int ExpandInputSpec(const std::string& specification, FileList& files) {
    std::string spec;
    AssignCapped(spec, specification, kSettingsTextCapacity);
    const std::string full = platform::FullPath(spec);
    if (full.empty() || full.size() > kPathCapacity) return 0;
    if (FileExists(full) && IsXpsFile(full)) {
        files.push_back(full);
        return 1;
    }
    if (FolderExists(full)) {
        AddFolderFiles(spec, files);
        return 1;
    }
    return 0;
}

int ExpandInputs(const InputList& inputs, FileList& files) {
    int unmatched = 0;
    for (const std::string& input : inputs) {
        if (!ExpandInputSpec(input, files)) {
            platform::ReportError("xpsconv: no XPS document at \"" + input + "\"");
            ++unmatched;
        }
    }
    return unmatched;
}
