#pragma once
// The grammar's blank trimming: only the space character counts as a blank.

#include <cstddef>
#include <string>

// Removes leading and trailing space characters (tabs stay); returns the new length.
size_t TrimSpaces(std::string& text);
