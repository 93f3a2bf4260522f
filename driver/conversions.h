#pragma once
// The loop over documents and where their outputs go.

#include <string>

#include "driver/post_processor.h"
#include "settings/settings.h"

enum FolderMode : int {
    kFolderInvalid = 0,
    kFolderBesideInput = 1,
    kFolderGiven = 2,
};

struct ConversionOutcome {
    bool cannotStart = false;  // the output folder was invalid: nothing was converted
    int failedDocuments = 0;   // documents with no output or only part of it
};

// Converts every document, one after the other. Nothing is examined when files is empty.
ConversionOutcome RunConversions(Settings& settings, const FileList& files,
                                 const PostProcessor& postProcessor);
// Makes the output folder absolute with a closing separator and creates it. Returns the folder
// mode; an invalid folder shows the error message.
int ResolveOutputFolder(std::string& outputFolder);
