#pragma once
// Turns the -i specifications into the list of XPS documents to convert.

#include <string>
#include <vector>

#include "settings/settings.h"

// The -i specifications as typed, in order.
using InputList = std::vector<std::string>;

// Expands every specification in order. Returns how many specifications or documents could not
// be taken (each reported on standard error, naming it): a specification that names neither an
// XPS document nor a folder, a folder that cannot be listed or holds no XPS document, and a
// document whose path passes the path capacity.
int ExpandInputs(const InputList& inputs, FileList& files);
// Appends the documents one specification yields; every problem goes into problems as one line.
// Returns the number of problems.
int ExpandInputSpec(const std::string& specification, FileList& files, std::vector<std::string>& problems);
// Appends the XPS files directly inside folder (as typed, a separator appended when missing):
// regular files only, so that a pipe or a device of that name never holds up the engine.
// False (why in reason) when the folder cannot be listed; documents whose path passes the
// capacity go into tooLong instead of files.
bool AddFolderFiles(std::string folder, FileList& files, std::vector<std::string>* tooLong = nullptr,
                    std::string* reason = nullptr);
// 1 when the last component's extension (from its last '.') is ".xps", or ".oxps" for OpenXPS,
// in any letter case.
int IsXpsFile(const std::string& path);
