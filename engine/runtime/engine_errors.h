#pragma once
// Errors go to standard error, one line each, so that a caller can log them as they come;
// progress goes to standard output.

#include <string>

namespace engine {

// Writes "proc.dll: MESSAGE" as one line in one piece, so that lines written on several
// threads never interleave.
void ReportError(const std::string& message);
// A problem of one page: "proc.dll: DOCUMENT: page N: MESSAGE".
void ReportPageError(const std::string& document, int page, const std::string& message);
// The announcement "page N" on standard output once a page is finished (for page images, once
// its file is complete under its final name): the caller takes the page from it, and tells a
// long document from a stuck engine.
void ReportPageDone(int page);
// The page-count device's answer "pages N" on standard output.
void ReportPageCount(int pages);

}  // namespace engine
