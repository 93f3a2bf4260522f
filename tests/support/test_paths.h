#pragma once
// Where the tests find the built programs and their own helpers, in the platform's own form.

#include <algorithm>
#include <string>

#include "platform/platform.h"

inline std::string NativeSeparators(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kSeparator);
    return path;
}
inline std::string BuiltBinDir() { return NativeSeparators(XPSCONV_BIN_DIR); }
inline std::string SourceDir() { return NativeSeparators(XPSCONV_SOURCE_DIR); }
inline std::string TestHelpersDir() { return NativeSeparators(XPSCONV_TEST_HELPERS_DIR); }
