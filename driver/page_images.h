#pragma once
// Image output: per document, render the pages, convert them, remove the page files.

#include <string>
#include <vector>

#include "conversion/image_converter.h"
#include "driver/document_context.h"
#include "settings/settings.h"

using PageFileList = std::vector<std::string>;

// Renders one document and converts its pages into outputFolder (which ends in a separator),
// with settings already normalised (NormaliseConverterSettings). True when every page was
// rendered and written; what went wrong goes into the context's log, the files written into its
// outputs.
bool ConvertDocumentImages(const Settings& settings, const std::string& input, const std::string& outputFolder,
                           DocumentContext& context);
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
// imageMemoryMiB above 0 raises one page image's memory limit to that many MiB.
void SendConverterOptions(ImgConvHandle handle, const Settings& settings, int32_t imageMemoryMiB = 0);
