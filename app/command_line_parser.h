#pragma once
// The command-line grammar: a consuming tokeniser over one working text. Problems are never
// reported: unknown switches and malformed arguments are skipped, values pulled into range.

#include <string>

#include "app/settings.h"

constexpr size_t kArgumentCapacity = 255;

// Applies every option to settings and every -i specification to inputs. Returns 0 for an
// empty command line (after opening the help file), else 1.
int ParseCommandLine(const std::string& commandLine, Settings& settings, InputList& inputs);

// The grammar's steps, on the working text (exposed for tests).
int NextSwitch(std::string& text);
int TakeFlag(std::string& text);
int TakeArgument(std::string& text, std::string& argument);
void ParseSize(const std::string& argument, Settings& settings);
// Reads a number the way the C library's atoi does (clamped to 32 bits instead of overflowing).
int32_t ReadNumber(const std::string& text);
