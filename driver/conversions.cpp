#include "driver/conversions.h"

#include "app/file_helpers.h"
#include "driver/messages.h"
#include "driver/page_images.h"
#include "driver/path_parts.h"
#include "driver/pdf_job.h"
#include "platform/platform.h"

int ResolveOutputFolder(std::string& outputFolder) {
    if (outputFolder.empty()) return kFolderBesideInput;
    std::string full = platform::FullPath(outputFolder);
    if (!full.empty() && full.back() != platform::kSeparator) full += platform::kSeparator;
    if (!full.empty() && full.size() <= kSettingsTextCapacity && platform::IsAbsoluteFolderPath(full)) {
        outputFolder = full;
        CreateFolderPath(outputFolder);
        return kFolderGiven;
    }
    platform::ShowErrorMessage(kProductCaption, "Invalid output path.");
    return kFolderInvalid;
}

ConversionOutcome RunConversions(Settings& settings, const FileList& files,
                                 const PostProcessor& postProcessor) {
    ConversionOutcome outcome;
    if (files.empty()) return outcome;
    const int mode = ResolveOutputFolder(settings.outputFolder);
    if (mode <= kFolderInvalid) {
        outcome.cannotStart = true;
        return outcome;
    }
    if (!settings.outputPdf) {
        outcome.failedDocuments = ConvertPageImages(settings, files, mode);
        return outcome;
    }
    for (const std::string& input : files) {
        const PathParts parts = SplitPath(input);
        const std::string folder = mode == kFolderGiven ? settings.outputFolder : parts.folder;
        if (!RunPdfJob(input, folder + parts.baseName + ".pdf", settings, postProcessor))
            ++outcome.failedDocuments;
    }
    return outcome;
}
