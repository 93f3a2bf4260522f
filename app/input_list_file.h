#pragma once
// Input lists (--list): one input specification per line, from a file or standard input, for
// batches longer than a command line can hold.

#include <string>
#include <vector>

// The specifications of a list's text: one per line, LF or CR LF, blank lines (spaces and tabs
// only) skipped, a leading UTF-8 byte order mark dropped. Nothing else is trimmed: a name may
// begin or end with a blank.
std::vector<std::string> SplitInputList(const std::string& text);
// Reads the list at path ("-": standard input) into specifications. False, with the system's
// reason in reason, when the file cannot be read.
bool ReadInputList(const std::string& path, std::vector<std::string>& specifications, std::string& reason);
