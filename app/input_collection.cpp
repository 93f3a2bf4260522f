#include "app/input_collection.h"

#include <cctype>

#include "platform/file_helpers.h"
#include "platform/platform.h"
#include "settings/converter_message.h"

namespace {

bool EqualsLowered(const std::string& text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
    }
    return true;
}

}  // namespace

int IsXpsFile(const std::string& path) {
    const size_t separator = path.rfind(platform::kSeparator);
    const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return 0;
    const std::string extension = path.substr(dot);
    return EqualsLowered(extension, ".xps") || EqualsLowered(extension, ".oxps") ? 1 : 0;
}

bool AddFolderFiles(std::string folder, FileList& files, std::vector<std::string>* tooLong,
                    std::string* reason) {
    if (folder.empty() || folder.back() != platform::kSeparator) folder += platform::kSeparator;
    std::vector<platform::FolderEntry> entries;
    if (folder.size() > platform::kPathCapacity) {
        if (reason != nullptr)
            *reason = "the path is longer than " + std::to_string(platform::kPathCapacity) +
                      " characters";
        return false;
    }
    if (!platform::ListFolder(folder, entries, reason)) return false;
    for (const platform::FolderEntry& entry : entries) {
        if (!entry.isRegularFile) continue;
        const std::string path = folder + entry.name;
        if (!IsXpsFile(path)) continue;
        if (path.size() <= platform::kPathCapacity) {
            files.push_back(path);
        } else if (tooLong != nullptr) {
            tooLong->push_back(path);
        }
    }
    return true;
}

int ExpandInputSpec(const std::string& specification, FileList& files, std::vector<std::string>& problems) {
    const size_t before = problems.size();
    const std::string full = platform::FullPath(specification);
    const std::string capacity = std::to_string(platform::kPathCapacity);
    if (full.size() > platform::kPathCapacity) {
        problems.push_back(ConverterMessage(specification + ": the full path is longer than " +
                                            capacity + " characters; not converted"));
    } else if (!full.empty() && platform::FileExists(full) && IsXpsFile(full)) {
        files.push_back(full);
    } else if (!full.empty() && platform::FolderExists(full)) {
        const size_t found = files.size();
        std::vector<std::string> tooLong;
        std::string reason;
        if (!AddFolderFiles(specification, files, &tooLong, &reason)) {
            problems.push_back(ConverterMessage(specification + ": the folder cannot be listed (" +
                                                reason + "); not converted"));
        } else {
            for (const std::string& path : tooLong) {
                problems.push_back(ConverterMessage(path + ": the path is longer than " + capacity +
                                                    " characters; not converted"));
            }
            if (files.size() == found && tooLong.empty())
                problems.push_back(
                    ConverterMessage(specification + ": the folder holds no XPS document"));
        }
    } else {
        problems.push_back(ConverterMessage("no XPS document at \"" + specification + "\""));
    }
    return static_cast<int>(problems.size() - before);
}

int ExpandInputs(const InputList& inputs, FileList& files) {
    std::vector<std::string> problems;
    for (const std::string& input : inputs) ExpandInputSpec(input, files, problems);
    for (const std::string& problem : problems) platform::ReportError(problem);
    return static_cast<int>(problems.size());
}
