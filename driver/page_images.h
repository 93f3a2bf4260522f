#pragma once
// Image output: per document, render the pages, convert them, remove the page files.

#include <string>
#include <vector>

#include "conversion/image_converter.h"
#include "settings/settings.h"

using PageFileList = std::vector<std::string>;

// Returns the number of documents that yielded no output or only part of it.
int ConvertPageImages(Settings& settings, const FileList& files, int folderMode);
// Appends the full path of every plain file in folder (separator appended when missing).
void CollectPageFiles(std::string folder, PageFileList& pages);
// Deletes the listed files, then the folder.
void DeletePageFiles(const std::string& folder, const PageFileList& pages);
// Normalises the depth and compression settings for the image type (writing them back) and
// sends every image option to the converter.
void ApplyConverterSettings(ImgConvHandle handle, Settings& settings);
// The two halves of ApplyConverterSettings: the normalisation, done once per run, and the
// options, sent to every converter.
void NormaliseConverterSettings(Settings& settings);
void SendConverterOptions(ImgConvHandle handle, const Settings& settings);
