#pragma once

#include <string>

namespace engine {

// Texts arrive as the caller's bytes: UTF-8 is kept, anything else is read as Windows-1252
// (the single-byte code page the driver's texts come from) and converted to UTF-8.
std::string ToUtf8(const std::string& text);

}  // namespace engine
