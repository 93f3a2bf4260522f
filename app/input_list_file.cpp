#include "app/input_list_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

std::vector<std::string> SplitInputList(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool ReadInputList(const std::string& path, std::vector<std::string>& specifications, std::string& reason) {
    std::string text;
    char buffer[65536];
    if (path == "-") {
        for (size_t got; (got = platform::ReadStandardInput(buffer, sizeof(buffer))) > 0;) text.append(buffer, got);
    } else {
        std::FILE* file = platform::OpenFile(path, "rb");
        if (file == nullptr) {
            reason = std::strerror(errno);
            return false;
        }
        for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) text.append(buffer, got);
        const bool failed = std::ferror(file) != 0;
        const int error = errno;
        std::fclose(file);
        if (failed) {
            reason = std::strerror(error);
            return false;
        }
    }
    const std::vector<std::string> lines = SplitInputList(text);
    specifications.insert(specifications.end(), lines.begin(), lines.end());
    return true;
}
