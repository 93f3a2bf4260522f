#include "driver/page_images.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <thread>

#include "driver/conversions.h"
#include "driver/ordered_tiff_pages.h"
#include "driver/page_feed.h"
#include "driver/path_parts.h"
#include "driver/raster_job.h"
#include "driver/renderer.h"
#include "platform/platform.h"
#include "protocol/engine_protocol.h"
#include "settings/converter_message.h"

namespace {

constexpr const char* kPageFolderPrefix = "mtmp";
// Page files ready beyond one per worker, so that a worker finds its next page waiting.
constexpr int kPageBacklogSlack = 2;

// Why the converter behind handle failed, or a plain sentence when it could not say.
std::string FailureText(ImgConvHandle handle) {
    std::string text;
    if (handle <= 0) return "no image converter could be made";
    ImgConvLastError(handle, text);
    return text.empty() ? std::string("the image layer gave no reason") : text;
}

// One page file to one output file; empty when the output was written (and added to the
// context's outputs), else why not.
std::string ConvertOnePage(const Settings& settings, const std::string& page, const std::string& outputFolder,
                           DocumentContext& context) {
    const ImgConvHandle handle = ImgConvCreate();
    if (handle <= 0) return FailureText(handle);
    const std::string output = outputFolder + SplitPath(page).baseName + settings.imageExtension;
    ImgConvSetOption(handle, kOptionOutputPath, output.c_str(), 0, 0);
    ImgConvAddFile(handle, page.c_str());
    SendConverterOptions(handle, settings, context.imageMemoryMiB);
    const bool written = ImgConvConvert(handle) == 1;
    const std::string why = written ? std::string() : FailureText(handle);
    const bool destroyed = ImgConvDestroy(handle) == 1;
    if (written) context.AddOutput(output);
    if (written && !destroyed) return "the page's converter could not be released";
    return why;
}

// One page file encoded as page number of a multi-page TIFF, on a handle of its own so that
// pages can be encoded on several threads. Empty when encoded, else why not.
std::string EncodeTiffPage(const Settings& settings, int32_t imageMemoryMiB, const std::string& page, int number,
                           std::vector<uint8_t>& bytes) {
    const ImgConvHandle handle = ImgConvCreate();
    if (handle <= 0) return FailureText(handle);
    SendConverterOptions(handle, settings, imageMemoryMiB);
    const bool encoded = ImgConvEncodeTiffPage(handle, page.c_str(), number, bytes) == 1;
    const std::string why = encoded ? std::string() : FailureText(handle);
    ImgConvDestroy(handle);
    return why;
}

// The page number of a page file ("name_007.bmp" is 7), 0 when it has none.
int PageNumberOf(const std::string& page) {
    const size_t underscore = page.rfind('_');
    return underscore == std::string::npos ? 0 : std::atoi(page.c_str() + underscore + 1);
}

bool IsMultiPageTiff(const Settings& settings) {
    return settings.imageType == kOutputTiff && settings.multiPageTiff == 1;
}

// What one page worker did.
struct WorkerResult {
    int converted = 0;
    std::map<int, std::string> failures;  // page number -> why it could not be converted
};

// Converts pages while the engine still renders later ones: each worker claims the next page
// number and converts that page once it is announced.
void ConvertPagesAsRendered(const Settings& settings, const std::string& pageFolder,
                            const std::string& baseName, const std::string& outputFolder,
                            std::atomic<int>& nextPage, PageFeed& feed, DocumentContext& context,
                            WorkerResult& result) {
    while (true) {
        const int number = nextPage.fetch_add(1);
        const std::string page = protocol::PageFileName(pageFolder, baseName, number);
        if (!feed.WaitForPage(number, page)) return;
        std::string why = ConvertOnePage(settings, page, outputFolder, context);
        if (!why.empty()) result.failures[number] = std::move(why);
        // Done with it: a long document never holds all its pages in the temporary folder.
        platform::RemoveFile(page);
        feed.Taken(number);
        ++result.converted;
    }
}

// The same for a multi-page TIFF: pages are encoded as they appear, then handed in to go into
// the file in page order. A worker too far ahead of the file waits before encoding more.
void EncodeTiffPagesAsRendered(const Settings& settings, int32_t imageMemoryMiB, const std::string& pageFolder,
                               const std::string& baseName, std::atomic<int>& nextPage,
                               PageFeed& feed, OrderedTiffPages& order) {
    while (true) {
        const int number = nextPage.fetch_add(1);
        order.WaitForTurn(number);
        const std::string page = protocol::PageFileName(pageFolder, baseName, number);
        if (!feed.WaitForPage(number, page)) {
            order.HandIn(number, OrderedTiffPages::Outcome::kNoSuchPage);
            return;
        }
        std::vector<uint8_t> bytes;
        std::string why = EncodeTiffPage(settings, imageMemoryMiB, page, number, bytes);
        platform::RemoveFile(page);
        feed.Taken(number);
        order.HandIn(number, why.empty() ? OrderedTiffPages::Outcome::kEncoded : OrderedTiffPages::Outcome::kFailed,
                     std::move(bytes), std::move(why));
    }
}

struct DocumentResult {
    bool engineSucceeded = false;
    int engineExit = -1;
    EngineEnd engineEnd;
    bool anyPage = false;
    bool allWritten = true;
    std::map<int, std::string> pageFailures;  // page number -> why (0: the document's own file)
};

// Renders one document and converts its pages, on the page workers the context allows.
DocumentResult RenderAndConvert(const Settings& settings, const std::string& input, const std::string& baseName,
                                const std::string& pageFolder, const std::string& outputFolder,
                                DocumentContext& context) {
    DocumentResult outcome;
    const unsigned workers = std::max(1u, context.pageWorkers);
    // Rendering can be far faster than encoding: the engine waits while every worker has a page
    // and a couple more are ready, rather than filling the temporary folder with pages.
    const int pageBacklog = static_cast<int>(workers) + kPageBacklogSlack;
    PageFeed feed;
    std::thread engine([&] {
        RendererOptions options;
        options.pageDone = [&](int page) {
            feed.Announce(page);
            context.pages = page;
            if (context.pageDone) context.pageDone(page);
        };
        options.input = &feed.Input();
        options.log = &context.log;
        options.end = &outcome.engineEnd;
        options.extraEnvironment = context.engineEnvironment;
        RunRasterJob(input, baseName, pageFolder, settings, &outcome.engineSucceeded, &outcome.engineExit,
                     pageBacklog, std::move(options));
        feed.EngineEnded();
    });

    std::atomic<int> nextPage{1};
    std::vector<std::thread> threads;
    PageFileList pages;
    if (IsMultiPageTiff(settings)) {
        const ImgConvHandle document = ImgConvCreate();
        const std::string output = outputFolder + baseName + std::string(OutputFormatOf(kOutputTiff).extension);
        ImgConvSetOption(document, kOptionMultiPagePath, output.c_str(), 0, 0);
        ImgConvSetOption(document, kOptionMultiPage, nullptr, 1, 0);
        SendConverterOptions(document, settings, context.imageMemoryMiB);
        // Room for every worker's page plus a little slack, so that a slow page holds up the
        // others only once that many pages are waiting behind it.
        OrderedTiffPages order(document, 1, static_cast<int>(workers) + 2);
        for (unsigned i = 0; i < workers; ++i) {
            threads.emplace_back(EncodeTiffPagesAsRendered, std::cref(settings), context.imageMemoryMiB,
                                 std::cref(pageFolder),
                                 std::cref(baseName), std::ref(nextPage), std::ref(feed),
                                 std::ref(order));
        }
        for (std::thread& thread : threads) thread.join();
        engine.join();

        // Pages beyond a gap in the numbering were never claimed: they follow, in page order.
        CollectPageFiles(pageFolder, pages);
        int appended = order.Appended();
        int failures = order.Failures();
        outcome.pageFailures = order.Reasons();
        for (const std::string& page : pages) {
            std::vector<uint8_t> bytes;
            std::string why = EncodeTiffPage(settings, context.imageMemoryMiB, page, appended + 1, bytes);
            if (why.empty() && ImgConvAppendTiffPage(document, bytes) != 1) why = FailureText(document);
            if (why.empty()) {
                ++appended;
            } else {
                ++failures;
                outcome.pageFailures[PageNumberOf(page)] = why;
            }
        }
        outcome.anyPage = appended + failures > 0;
        // Finished (closed and renamed into place) before the handle goes, so a failure can say why.
        const bool finished = ImgConvFinishMultiPage(document) == 1;
        if (!finished) outcome.pageFailures[0] = FailureText(document);
        if (finished && appended > 0) context.AddOutput(output);
        ImgConvDestroy(document);
        outcome.allWritten = failures == 0 && finished;
    } else {
        std::vector<WorkerResult> results(workers);
        for (unsigned i = 0; i < workers; ++i) {
            threads.emplace_back(ConvertPagesAsRendered, std::cref(settings), std::cref(pageFolder),
                                 std::cref(baseName), std::cref(outputFolder), std::ref(nextPage),
                                 std::ref(feed), std::ref(context), std::ref(results[i]));
        }
        for (std::thread& thread : threads) thread.join();
        engine.join();

        // What the workers converted is gone from the folder; anything left is converted now.
        CollectPageFiles(pageFolder, pages);
        outcome.anyPage = !pages.empty();
        for (const WorkerResult& result : results) {
            outcome.pageFailures.insert(result.failures.begin(), result.failures.end());
            if (result.converted > 0) outcome.anyPage = true;
        }
        for (const std::string& page : pages) {
            std::string why = ConvertOnePage(settings, page, outputFolder, context);
            if (!why.empty()) outcome.pageFailures[PageNumberOf(page)] = std::move(why);
        }
        outcome.allWritten = outcome.pageFailures.empty();
    }
    DeletePageFiles(pageFolder, pages);
    return outcome;
}

}  // namespace

void CollectPageFiles(std::string folder, PageFileList& pages) {
    if (folder.empty() || folder.back() != platform::kSeparator) folder += platform::kSeparator;
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder(folder, entries)) return;
    const size_t first = pages.size();
    for (const platform::FolderEntry& entry : entries) {
        if (!entry.isFolder) pages.push_back(folder + entry.name);
    }
    // Page order makes the run repeatable whatever order the file system lists them in.
    std::sort(pages.begin() + static_cast<std::ptrdiff_t>(first), pages.end());
}

void DeletePageFiles(const std::string& folder, const PageFileList& pages) {
    for (const std::string& page : pages) platform::RemoveFile(page);
    platform::RemoveFolder(folder);
}

void NormaliseConverterSettings(Settings& settings) {
    if (const OutputFormat* format = FindOutputFormat(settings.imageType))
        settings.bitsPerPixel = BitsWritten(*format, settings.bitsPerPixel);
    if (settings.tiffCompression == -1)
        settings.tiffCompression = DefaultTiffCompression(DepthOfBits(settings.bitsPerPixel));
}

void SendConverterOptions(ImgConvHandle handle, const Settings& settings, int32_t imageMemoryMiB) {
    if (imageMemoryMiB > 0) ImgConvSetOption(handle, kOptionImageMemory, nullptr, imageMemoryMiB, 0);
    if (settings.imageWidth > 0 && settings.imageHeight > 0) {
        ImgConvSetOption(handle, kOptionWidth, nullptr, settings.imageWidth, 0);
        ImgConvSetOption(handle, kOptionHeight, nullptr, settings.imageHeight, 0);
    }
    if (settings.rotation > 0) ImgConvSetOption(handle, kOptionRotation, nullptr, settings.rotation, 0);
    ImgConvSetOption(handle, kOptionXResolution, nullptr, settings.resolutionX, 0);
    ImgConvSetOption(handle, kOptionYResolution, nullptr, settings.resolutionY, 0);
    if (IsGreyBits(settings.bitsPerPixel))
        ImgConvSetOption(handle, kOptionGreyscale, nullptr, 1, 0);
    ImgConvSetOption(handle, kOptionDepth, nullptr, DepthOfBits(settings.bitsPerPixel), 0);
    ImgConvSetOption(handle, kOptionCompression, nullptr, settings.tiffCompression, 0);
    ImgConvSetOption(handle, kOptionOutputType, nullptr, settings.imageType, 0);
    ImgConvSetOption(handle, kOptionQuality, nullptr, settings.jpegQuality, 0);
}

void ApplyConverterSettings(ImgConvHandle handle, Settings& settings) {
    NormaliseConverterSettings(settings);
    SendConverterOptions(handle, settings);
}

bool ConvertDocumentImages(const Settings& settings, const std::string& input, const std::string& outputFolder,
                           DocumentContext& context) {
    const PathParts parts = SplitPath(input);
    const auto fail = [&](const std::string& what) {
        context.log.Add(ConverterMessage(input + what));
        return false;
    };
    const auto failWithEngineEnd = [&](const EngineEnd& end, const std::string& consequence) {
        context.log.Add(ConverterMessage(EngineEndMessage(end, input, consequence)));
        return false;
    };
    // A folder of its own per document: concurrent runs never see each other's pages.
    const std::string pageFolder = platform::MakePrivateTempFolder(kPageFolderPrefix);
    if (pageFolder.empty()) return fail(": no temporary folder for the pages");
    platform::RegisterTemporaryFolder(pageFolder);
    const DocumentResult result = RenderAndConvert(settings, input, parts.baseName, pageFolder, outputFolder, context);
    platform::ForgetTemporaryFolder(pageFolder);  // RenderAndConvert removed it
    if (!result.anyPage) {
        if (result.engineEnd.cause == EngineEnd::Cause::kOwnEnd &&
            result.engineExit == protocol::kEngineNothingWritten)
            return fail(": the document could not be read");
        return failWithEngineEnd(result.engineEnd, "no page was rendered");
    }
    bool complete = true;
    if (!result.engineSucceeded) {
        // Whatever pages exist were still converted; the document counts as incomplete.
        complete = failWithEngineEnd(result.engineEnd, "some pages could not be rendered completely");
    }
    // Each failed page with the image layer's reason, in page order.
    for (const auto& [page, why] : result.pageFailures) {
        const std::string where = page > 0 ? ": page " + std::to_string(page) + ": " : ": ";
        context.log.Add(ConverterMessage(input + where + why));
    }
    return complete && result.allWritten;
}
