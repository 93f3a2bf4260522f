#pragma once
// Command-line texts arrive as UTF-8 (converted from the ANSI code page where it is not); the
// front end reads them as code points where a byte form of its own is needed.

#include <optional>
#include <string>
#include <vector>

// The code points of a valid UTF-8 text (no overlong forms or surrogates); none when invalid.
std::optional<std::vector<char32_t>> DecodeUtf8(const std::string& text);
// The UTF-8 form of valid code points.
std::string EncodeUtf8(const std::vector<char32_t>& points);
