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
    bool cannotStart = false;  // the output folder (or the report file) was unusable: nothing was converted
    int failedDocuments = 0;   // documents with no output or only part of it
    int converted = 0;
    int partial = 0;
    int failed = 0;
    int skipped = 0;
};

// Converts every document, settings.jobs at a time (0: one per processor); each document's
// lines are shown as one block when it ends. Nothing is examined when files is empty.
ConversionOutcome RunConversions(Settings& settings, const FileList& files,
                                 const PostProcessor& postProcessor);
// Makes the output folder absolute with a closing separator and creates it. Returns the folder
// mode; an invalid folder shows the error message.
int ResolveOutputFolder(std::string& outputFolder);
