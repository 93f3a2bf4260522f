#pragma once
// Turns the input specifications (-i, --list) into the list of XPS documents to convert.

#include <string>
#include <vector>

#include "platform/platform.h"
#include "settings/settings.h"

// The input specifications as typed, in order.
using InputList = std::vector<std::string>;

// Expands every specification in order. Returns how many specifications or documents could not
// be taken (each reported on standard error, naming it): a specification that names neither an
// XPS document nor a folder, a folder that cannot be listed or holds no XPS document, and a
// document whose path passes the path capacity. With recursive, folders bring the documents of
// their sub-folders too.
// With wildcards (on where programs expand them themselves), * and ? in the last component of
// a specification select the XPS documents whose names match, in byte order of their names.
int ExpandInputs(const InputList& inputs, FileList& files, bool recursive = false,
                 bool wildcards = platform::kProgramExpandsWildcards);
// Appends the documents one specification yields; every problem goes into problems as one line.
// Returns the number of problems.
int ExpandInputSpec(const std::string& specification, FileList& files, std::vector<std::string>& problems,
                    bool recursive = false, bool wildcards = platform::kProgramExpandsWildcards);
// Appends the XPS files inside folder (as typed, a separator appended when missing) in byte
// order of their names, so that every run and machine takes them in the same order: regular
// files only, so that a pipe or a device of that name never holds up the engine. With recursive,
// each sub-folder's documents come at its place among the names, depth first, each document
// carrying its folder relative to this one; links to folders are not followed, so no loop of
// links can hold the run. A folder that cannot be listed or whose documents' paths pass the
// capacity gives one line each in problems; false when folder itself cannot be listed.
bool AddFolderFiles(std::string folder, FileList& files, std::vector<std::string>& problems,
                    bool recursive = false);
// 1 when the last component's extension (from its last '.') is ".xps", or ".oxps" for OpenXPS,
// in any letter case.
int IsXpsFile(const std::string& path);
