#pragma once
// Where the tests find the built programs and their own helpers.

#include <string>

inline std::string BuiltBinDir() { return XPSCONV_BIN_DIR; }
inline std::string SourceDir() { return XPSCONV_SOURCE_DIR; }
inline std::string TestHelpersDir() { return XPSCONV_TEST_HELPERS_DIR; }
