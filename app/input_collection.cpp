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

// Length of the character starting at text[at]: a whole UTF-8 sequence when one starts there,
// else one byte, so that ? stands for one character of a name written in UTF-8.
size_t CharacterLength(std::string_view text, size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const size_t length = byte >= 0xF0 && byte < 0xF8 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 && byte < 0xE0 ? 2 : 1;
    if (length == 1 || at + length > text.size()) return 1;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

bool SameLetter(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// * any run of characters, ? one character, letters without regard to case (as Windows names
// compare). Matched on the names themselves, never on the system's short 8.3 names, which let
// *.xps take report.xpsx. Backtracks to the last star only, so the time stays linear per star.
bool MatchesPattern(std::string_view name, std::string_view pattern) {
    size_t n = 0;
    size_t p = 0;
    size_t starPattern = std::string_view::npos;
    size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = ++p;
            starName = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += CharacterLength(name, n);
        } else if (p < pattern.size() && SameLetter(pattern[p], name[n])) {
            ++p;
            ++n;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern;
            starName += CharacterLength(name, starName);
            n = starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// The documents of one folder whose names match the input's last component; an input
// whose folder part holds wildcards too, or whose folder cannot be listed, gives
// a problem instead.
void AddMatchingFiles(const std::string& specification, FileList& files, std::vector<std::string>& problems) {
    const size_t cut = specification.find_last_of(std::string("/") + platform::kSeparator);
    const std::string folderPart = cut == std::string::npos ? std::string() : specification.substr(0, cut + 1);
    const std::string pattern = specification.substr(folderPart.size());
    if (HasWildcard(folderPart)) {
        problems.push_back(ConverterMessage("no XPS document at \"" + specification +
                                            "\" (* and ? are taken in the last part of a name only)"));
        return;
    }
    std::string folder = platform::FullPath(folderPart.empty() ? std::string(".") : folderPart);
    if (!folder.empty() && folder.back() != platform::kSeparator) folder += platform::kSeparator;
    std::vector<platform::FolderEntry> entries;
    std::string reason;
    if (folder.empty() || folder.size() > platform::kPathCapacity || !platform::ListFolder(folder, entries, &reason)) {
        problems.push_back(ConverterMessage("no XPS document at \"" + specification + "\"" +
                                            (reason.empty() ? std::string() : " (" + reason + ")")));
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const platform::FolderEntry& a, const platform::FolderEntry& b) { return a.name < b.name; });
    const size_t before = files.size();
    for (const platform::FolderEntry& entry : entries) {
        const std::string path = folder + entry.name;
        if (!entry.isRegularFile || !IsXpsFile(path) || !MatchesPattern(entry.name, pattern)) continue;
        if (path.size() <= platform::kPathCapacity) {
            files.emplace_back(path);
        } else {
            problems.push_back(TooLong(path));
        }
    }
    if (files.size() == before && problems.empty())
        problems.push_back(ConverterMessage("no XPS document matches \"" + specification + "\""));
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

bool AddFolderFiles(std::string folder, FileList& files, std::vector<std::string>& problems, bool recursive) {
    if (folder.empty() || folder.back() != platform::kSeparator) folder += platform::kSeparator;
    std::string reason;
    if (AddTree(folder, std::string(), recursive, files, problems, reason)) return true;
    problems.push_back(ConverterMessage(folder + ": the folder cannot be listed (" + reason + "); not converted"));
    return false;
}

int ExpandInputSpec(const std::string& specification, FileList& files, std::vector<std::string>& problems,
                    bool recursive, bool wildcards) {
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
    } else if (wildcards && HasWildcard(specification)) {
        std::vector<std::string> found;
        AddMatchingFiles(specification, files, found);
        problems.insert(problems.end(), found.begin(), found.end());
    } else if (HasWildcard(specification)) {
        // The shell expands patterns here: one that reaches the program matched nothing.
        problems.push_back(ConverterMessage("no XPS document at \"" + specification +
                                            "\" (names are not patterns: give the folder, or --list)"));
    } else {
        problems.push_back(ConverterMessage("no XPS document at \"" + specification + "\""));
    }
    return static_cast<int>(problems.size() - before);
}

int ExpandInputs(const InputList& inputs, FileList& files, bool recursive, bool wildcards) {
    std::vector<std::string> problems;
    for (const std::string& input : inputs) ExpandInputSpec(input, files, problems, recursive, wildcards);
    for (const std::string& problem : problems) platform::ReportError(problem);
    return static_cast<int>(problems.size());
}
