#pragma once
// Outputs are written under a temporary name beside their target and renamed into place only
// when complete, so a failure leaves no file and an older file of the name intact.

#include <cstdio>
#include <string>

// Creates a new file beside path under a name nobody else uses (never an existing file) and
// opens it with mode ("wb" or "w+b"). Returns nullptr, with temporaryPath empty, when no such
// file could be made.
std::FILE* OpenTemporaryBeside(const std::string& path, const char* mode, std::string& temporaryPath);
// Renames the finished temporary file over target when complete is true; otherwise, or when
// the rename fails, removes it. True when target now holds the new file.
bool PutTemporaryInPlace(bool complete, const std::string& temporaryPath, const std::string& target);
