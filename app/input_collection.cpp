#include "app/input_collection.h"

#include <algorithm>
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

std::string TooLong(const std::string& path) {
    return ConverterMessage(path + ": the path is longer than " + std::to_string(platform::kPathCapacity) +
                            " characters; not converted");
}

// One folder's documents (and, when asked, its sub-folders'); relative is the folder below the
// folder input, with a closing separator, or empty at the top. False when folder cannot be
// listed (why in reason).
bool AddTree(const std::string& folder, const std::string& relative, bool recursive, FileList& files,
             std::vector<std::string>& problems, std::string& reason) {
    if (folder.size() > platform::kPathCapacity) {
        reason = "the path is longer than " + std::to_string(platform::kPathCapacity) + " characters";
        return false;
    }
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder(folder, entries, &reason)) return false;
    // Byte order of the names (std::string compares as unsigned bytes), never the listing's.
    std::sort(entries.begin(), entries.end(),
              [](const platform::FolderEntry& a, const platform::FolderEntry& b) { return a.name < b.name; });
    for (const platform::FolderEntry& entry : entries) {
        const std::string path = folder + entry.name;
        if (entry.isRegularFile) {
            if (!IsXpsFile(path)) continue;
            if (path.size() <= platform::kPathCapacity) {
                files.emplace_back(path, relative);
            } else {
                problems.push_back(TooLong(path));
            }
        } else if (recursive && entry.isFolder && !entry.isLink && entry.name != "." && entry.name != "..") {
            const std::string below = relative + entry.name + platform::kSeparator;
            std::string why;
            if (!AddTree(path + platform::kSeparator, below, true, files, problems, why))
                problems.push_back(ConverterMessage(path + ": the folder cannot be listed (" + why + "); not converted"));
        }
    }
    return true;
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

}  // namespace

int IsXpsFile(const std::string& path) {
    const size_t separator = path.rfind(platform::kSeparator);
    const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return 0;
    const std::string extension = path.substr(dot);
    return EqualsLowered(extension, ".xps") || EqualsLowered(extension, ".oxps") ? 1 : 0;
}

bool AddFolderFiles(std::string folder, FileList& files, std::vector<std::string>& problems, bool recursive) {
    if (folder.empty() || folder.back() != platform::kSeparator) folder += platform::kSeparator;
    std::string reason;
    if (AddTree(folder, std::string(), recursive, files, problems, reason)) return true;
    problems.push_back(ConverterMessage(folder + ": the folder cannot be listed (" + reason + "); not converted"));
    return false;
}

int ExpandInputSpec(const std::string& specification, FileList& files, std::vector<std::string>& problems,
                    bool recursive) {
    const size_t before = problems.size();
    const std::string full = platform::FullPath(specification);
    if (full.size() > platform::kPathCapacity) {
        problems.push_back(ConverterMessage(specification + ": the full path is longer than " +
                                            std::to_string(platform::kPathCapacity) + " characters; not converted"));
    } else if (!full.empty() && platform::FileExists(full) && IsXpsFile(full)) {
        files.emplace_back(full);
    } else if (!full.empty() && platform::FolderExists(full)) {
        const size_t found = files.size();
        if (AddFolderFiles(specification, files, problems, recursive) && files.size() == found &&
            problems.size() == before)
            problems.push_back(ConverterMessage(specification + ": the folder holds no XPS document"));
    } else if (HasWildcard(specification)) {
        // Names are never patterns here: the folder itself, or a list, is the way to many files.
        problems.push_back(ConverterMessage("no XPS document at \"" + specification +
                                            "\" (names are not patterns: give the folder, or --list)"));
    } else {
        problems.push_back(ConverterMessage("no XPS document at \"" + specification + "\""));
    }
    return static_cast<int>(problems.size() - before);
}

int ExpandInputs(const InputList& inputs, FileList& files, bool recursive) {
    std::vector<std::string> problems;
    for (const std::string& input : inputs) ExpandInputSpec(input, files, problems, recursive);
    for (const std::string& problem : problems) platform::ReportError(problem);
    return static_cast<int>(problems.size());
}
