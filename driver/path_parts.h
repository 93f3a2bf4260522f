#pragma once
// Splits a document path into its folder and base name.

#include <string>

struct PathParts {
    std::string folder;    // everything up to and including the last separator (may be empty)
    std::string baseName;  // the file name without its last extension
};

PathParts SplitPath(const std::string& path);
