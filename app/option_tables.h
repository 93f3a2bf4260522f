#pragma once
// The keyword tables of the -t and -mc options.

#include <string>

#include "settings/settings.h"

// Applies a -t keyword: output PDF, or an image type with its extension (JPEG for unknown words).
void ApplyOutputType(const std::string& keyword, Settings& settings);
// The compression code of a -mc keyword (2 for unknown words), and the keyword of a code.
int32_t CompressionCode(const std::string& keyword);
std::string CompressionKeyword(int32_t code);
// True when the word is in the -t table, or names a compression (jpg and jpeg in any letter case,
// which give the code they name even where the table does not list them).
bool IsOutputTypeKeyword(const std::string& keyword);
bool IsCompressionKeyword(const std::string& keyword);
