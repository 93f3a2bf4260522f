#include "engine/runtime/engine_errors.h"

#include <cstdio>

#include "protocol/engine_protocol.h"

namespace engine {

void ReportError(const std::string& message) {
    std::string line = "proc.dll: ";
    for (char c : message) line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    // Standard error is unbuffered: one call hands the whole line over at once.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void ReportPageError(const std::string& document, int page, const std::string& message) {
    ReportError(document + ": page " + std::to_string(page) + ": " + message);
}

void ReportPageDone(int page) {
    std::fputs(protocol::PageDoneLine(page).c_str(), stdout);
    std::fflush(stdout);
}

void ReportPageCount(int pages) {
    std::fputs(protocol::PageCountLine(pages).c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace engine
