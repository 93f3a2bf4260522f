#include "driver/conversions.h"

#include <map>

#include "driver/messages.h"
#include "driver/page_images.h"
#include "driver/path_parts.h"
#include "driver/pdf_job.h"
#include "platform/file_helpers.h"
#include "platform/platform.h"
#include "settings/converter_message.h"

namespace {

int RefuseOutputFolder(const std::string& folder, const std::string& reason) {
    platform::ShowErrorMessage(kProductCaption, "Invalid output path.");
    platform::ReportError(ConverterMessage(folder + ": " + reason));
    return kFolderInvalid;
}

// Two documents whose outputs would share a name (report.xps from two folders into one output
// folder, or report.xps beside report.oxps) would overwrite each other, or mix their pages. The
// first keeps the name; the others are not converted. The same document named twice is still
// converted twice.
FileList WithoutNameClashes(const FileList& files, const Settings& settings, int mode, int& refused) {
    FileList kept;
    std::map<std::string, std::string> firstByOutput;  // full output path without extension -> input
    for (const InputDocument& document : files) {
        const std::string& input = document.path;
        const PathParts parts = SplitPath(input);
        const std::string folder = mode == kFolderGiven ? settings.outputFolder : parts.folder;
        const std::string output = platform::FullPath(folder + parts.baseName);
        const auto [found, inserted] = firstByOutput.emplace(output, input);
        if (!inserted && platform::FullPath(found->second) != platform::FullPath(input)) {
            platform::ReportError(ConverterMessage(input + ": not converted: its output name " +
                                                   output + " is already taken by " +
                                                   found->second));
            ++refused;
            continue;
        }
        kept.push_back(document);
    }
    return kept;
}

}  // namespace

int ResolveOutputFolder(std::string& outputFolder) {
    if (outputFolder.empty()) return kFolderBesideInput;
    std::string full = platform::FullPath(outputFolder);
    if (!full.empty() && full.back() != platform::kSeparator) full += platform::kSeparator;
    if (full.empty() || !platform::IsAbsoluteFolderPath(full))
        return RefuseOutputFolder(outputFolder, "not an absolute folder path");
    if (full.size() > kSettingsTextCapacity) {
        return RefuseOutputFolder(full, "the full path is longer than " + std::to_string(kSettingsTextCapacity) +
                                            " characters");
    }
    outputFolder = full;
    platform::CreateFolderPath(outputFolder);
    // Checked once here, so that a folder no output can go into stops the run before any work.
    const std::string reason = platform::FolderUnusableReason(outputFolder);
    if (!reason.empty()) return RefuseOutputFolder(outputFolder, reason);
    return kFolderGiven;
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
    const FileList documents = WithoutNameClashes(files, settings, mode, outcome.failedDocuments);
    if (!settings.outputPdf) {
        outcome.failedDocuments += ConvertPageImages(settings, documents, mode);
        return outcome;
    }
    for (const InputDocument& document : documents) {
        const std::string& input = document.path;
        const PathParts parts = SplitPath(input);
        const std::string folder = mode == kFolderGiven ? settings.outputFolder : parts.folder;
        if (!RunPdfJob(input, folder + parts.baseName + ".pdf", settings, postProcessor))
            ++outcome.failedDocuments;
    }
    return outcome;
}
