#pragma once
// The overlay is drawn in a standard font under WinAnsiEncoding, one byte per character, while
// a POSIX command line arrives in UTF-8.

#include <string>

// The text in WinAnsi bytes. A character the encoding lacks becomes '?' and sets unmapped.
// A text that is not valid UTF-8 is taken to be in single bytes already and comes back as it is.
std::string Utf8ToWinAnsi(const std::string& text, bool* unmapped = nullptr);
