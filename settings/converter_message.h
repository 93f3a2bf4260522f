#pragma once
// The converter's own lines on standard error start with its name, which sets them apart from
// the engine's lines on the same stream.

#include <string>

// The line that tells text.
inline std::string ConverterMessage(const std::string& text) { return "xpsconv: " + text; }
