#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

namespace platform {

void ShowErrorMessage(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

void ReportError(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void WriteErrorText(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool ErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void WriteOutput(const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

bool OpenHelpFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char buffer[4096];
    size_t count;
    bool ok = true;
    while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        if (std::fwrite(buffer, 1, count, stdout) != count) {
            ok = false;
            break;
        }
    }
    std::fclose(file);
    std::fflush(stdout);
    return ok;
}

}  // namespace platform
