#pragma once
// Turns the -i specifications into the list of XPS documents to convert.

#include <string>

#include "app/settings.h"

// Expands every specification in order. Returns how many specifications named neither an XPS
// document nor a folder (those are reported on standard error, one line each).
int ExpandInputs(const InputList& inputs, FileList& files);
// Appends the documents one specification yields; returns 1 when it named an XPS document or
// an existing folder, else 0.
int ExpandInputSpec(const std::string& specification, FileList& files);
// Appends the XPS files directly inside folder (as typed, a separator appended when missing).
void AddFolderFiles(std::string folder, FileList& files);
// 1 when the last component's extension (from its last '.') is ".xps" in any letter case.
int IsXpsFile(const std::string& path);
