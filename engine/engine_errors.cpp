#include "engine/engine_errors.h"

#include <cstdio>

namespace engine {

void ReportError(const std::string& message) {
    std::string line = "proc.dll: ";
    for (char c : message) line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void ReportPageDone(int page) {
    std::fprintf(stdout, "page %d\n", page);
    std::fflush(stdout);
}

}  // namespace engine
