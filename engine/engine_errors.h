#pragma once
// Errors go to standard error, one line each, so that a caller can log them as they come.

#include <string>

namespace engine {

void ReportError(const std::string& message);

}  // namespace engine
