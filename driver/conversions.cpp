#include "driver/conversions.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "conversion/failure_text.h"
#include "driver/batch_plan.h"
#include "driver/batch_recorder.h"
#include "driver/document_context.h"
#include "driver/existing_outputs.h"
#include "driver/messages.h"
#include "driver/page_images.h"
#include "driver/path_parts.h"
#include "driver/pdf_job.h"
#include "platform/file_helpers.h"
#include "platform/platform.h"
#include "protocol/engine_protocol.h"
#include "settings/converter_message.h"

namespace {

int RefuseOutputFolder(const std::string& folder, const std::string& reason) {
    platform::ShowErrorMessage(kProductCaption, "Invalid output path.");
    platform::ReportError(ConverterMessage(folder + ": " + reason));
    return kFolderInvalid;
}

// The folder a document's outputs go into: the output folder (and the document's folder below
// the folder input it came from), or the document's own folder.
std::string OutputFolderOf(const InputDocument& document, const Settings& settings, int mode) {
    if (mode != kFolderGiven) return SplitPath(document.path).folder;
    return settings.outputFolder + document.relativeFolder;
}

// Two documents whose outputs would share a name (report.xps from two folders into one output
// folder, or report.xps beside report.oxps) would overwrite each other, or mix their pages. The
// first keeps the name; the others are not converted and come back in refused, each with why.
FileList WithoutNameClashes(const FileList& files, const Settings& settings, int mode,
                            std::vector<DocumentRecord>& refused) {
    FileList kept;
    std::map<std::string, std::string> firstByOutput;  // full output path without extension -> input
    for (const InputDocument& document : files) {
        const std::string& input = document.path;
        const std::string output =
            platform::FullPath(OutputFolderOf(document, settings, mode) + SplitPath(input).baseName);
        const auto [found, inserted] = firstByOutput.emplace(output, input);
        if (!inserted && platform::FullPath(found->second) != platform::FullPath(input)) {
            DocumentRecord record;
            record.input = input;
            record.messages.push_back(ConverterMessage(input + ": not converted: its output name " + output +
                                                       " is already taken by " + found->second));
            refused.push_back(std::move(record));
            continue;
        }
        kept.push_back(document);
    }
    return kept;
}

// One document, start to end, on the calling thread.
DocumentRecord ConvertDocument(const Settings& settings, const InputDocument& document, int mode,
                               const PostProcessor& postProcessor, const DocumentShare& share,
                               std::mutex& postProcessorLock, BatchRecorder& recorder, int number) {
    const auto start = std::chrono::steady_clock::now();
    const std::string& input = document.path;
    const PathParts parts = SplitPath(input);
    const std::string folder = OutputFolderOf(document, settings, mode);
    DocumentContext context;
    context.engineEnvironment = share.engineEnvironment;
    context.pageWorkers = share.pageWorkers;
    context.imageMemoryMiB = share.imageMemoryMiB;
    context.postProcessorLock = &postProcessorLock;
    context.pageDone = [&recorder, number](int page) { recorder.PageDone(number, page); };

    DocumentRecord record;
    record.input = input;
    const std::string single = SingleOutputPath(settings, folder, parts.baseName);
    if (settings.skipExisting && OutputsInPlace(settings, input, folder, parts.baseName, context)) {
        record.status = DocumentStatus::kSkipped;
    } else if (!single.empty() && platform::FileIsReadOnly(single)) {
        // Known before any work: the file stays as its owner keeps it. (Page files are told
        // apart only as pages come; each is refused when it would be replaced.)
        context.log.Add(ConverterMessage(input + ": not converted: " + ReadOnlyText(single)));
        record.status = DocumentStatus::kFailed;
    } else {
        context.outputs.clear();
        context.pages = 0;
        // Below the output folder, the sub-folders a folder input's documents came from.
        if (!document.relativeFolder.empty()) platform::CreateFolderPath(folder);
        const bool complete = settings.outputPdf
                                  ? RunPdfJob(input, folder + parts.baseName + ".pdf", settings, postProcessor, context)
                                  : ConvertDocumentImages(settings, input, folder, context);
        record.status = complete ? DocumentStatus::kConverted
                                 : context.outputs.empty() ? DocumentStatus::kFailed : DocumentStatus::kPartial;
    }
    record.outputs = context.outputs;
    // A page file that a worker converted but the system had not yet let go of is converted
    // once more at the end (Windows): the same output is then listed once.
    std::sort(record.outputs.begin(), record.outputs.end());
    record.outputs.erase(std::unique(record.outputs.begin(), record.outputs.end()), record.outputs.end());
    record.pages = context.pages;
    record.messages = context.log.Lines();
    record.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return record;
}

// What a memory setting of the environment says, for the plan.
const char* EngineMemorySetting() { return std::getenv(protocol::kEngineMemoryVariable); }

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
    std::vector<DocumentRecord> refused;
    const FileList documents = WithoutNameClashes(files, settings, mode, refused);
    // The normalised depth and compression are the same for every page: fixed once.
    if (!settings.outputPdf) NormaliseConverterSettings(settings);

    const int total = static_cast<int>(files.size());
    BatchRecorder recorder(total, !settings.quiet && platform::ErrorIsTerminal());
    if (!settings.reportPath.empty()) {
        std::string reason;
        if (!recorder.OpenReport(settings.reportPath, reason)) {
            platform::ReportError(ConverterMessage("cannot write the report " + settings.reportPath + ": " + reason +
                                                   "; nothing was converted"));
            outcome.cannotStart = true;
            return outcome;
        }
    }
    int number = 0;
    for (const DocumentRecord& record : refused) recorder.Finished(number++, record);

    const BatchPlan plan = PlanBatch(settings.jobs, documents.size(), std::thread::hardware_concurrency(),
                                     EngineMemorySetting(), platform::PhysicalMemoryBytes());
    std::mutex postProcessorLock;
    std::atomic<size_t> next{0};
    const int first = number;
    const auto work = [&] {
        for (size_t i = next++; i < documents.size(); i = next++) {
            const int id = first + static_cast<int>(i);
            // Fewer documents left than workers: each takes a larger share of the processors.
            const DocumentShare share = ShareFor(plan, static_cast<unsigned>(recorder.Unfinished()));
            recorder.Started(id, documents[i].path);
            const DocumentRecord record = ConvertDocument(settings, documents[i], mode, postProcessor, share,
                                                          postProcessorLock, recorder, id);
            recorder.Finished(id, record);
        }
    };
    if (plan.workers <= 1) {
        work();
    } else {
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < plan.workers; ++i) workers.emplace_back(work);
        for (std::thread& worker : workers) worker.join();
    }

    // A run of one document says nothing when all went well, as it always has.
    const BatchTotals totals = recorder.Finish(!settings.quiet && total > 1);
    outcome.converted = totals.converted;
    outcome.partial = totals.partial;
    outcome.failed = totals.failed;
    outcome.skipped = totals.skipped;
    outcome.failedDocuments = totals.partial + totals.failed;
    return outcome;
}
