#pragma once
// Errors go to standard error, one line each, so that a caller can log them as they come;
// progress goes to standard output.

#include <string>

namespace engine {

void ReportError(const std::string& message);
// One line "page N" on standard output once a page is finished, so that the caller can tell a
// long document from a stuck engine.
void ReportPageDone(int page);

}  // namespace engine
