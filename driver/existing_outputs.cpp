#include "driver/existing_outputs.h"

#include "driver/renderer.h"
#include "platform/file_helpers.h"
#include "protocol/engine_protocol.h"

namespace {

bool IsMultiPageTiff(const Settings& settings) {
    return settings.imageType == kOutputTiff && settings.multiPageTiff == 1;
}

std::string PageOutput(const Settings& settings, const std::string& folder, const std::string& baseName, int page) {
    return folder + baseName + protocol::PageNumberText(page) + settings.imageExtension;
}

// The engine's page count; 0 when it could not tell.
int CountPages(const std::string& input, const DocumentContext& context) {
    int pages = 0;
    RendererOptions options;
    options.extraEnvironment = context.engineEnvironment;
    options.pagesCounted = [&pages](int count) { pages = count; };
    // Its complaints are not shown: converting the document will say the same.
    DocumentLog unused;
    options.log = &unused;
    bool succeeded = false;
    if (RunRenderer(BuildPageCountCommandLine(input), &succeeded, nullptr, options) != 1 || !succeeded) return 0;
    return pages;
}

}  // namespace

std::string BuildPageCountCommandLine(const std::string& inputPath) {
    protocol::EngineRequest request;
    request.device = protocol::Device::PageCount;
    request.inputPath = inputPath;
    return std::string(kRendererFileName) + " " + protocol::FormatEngineArguments(request);
}

std::string SingleOutputPath(const Settings& settings, const std::string& outputFolder, const std::string& baseName) {
    if (settings.outputPdf) return outputFolder + baseName + ".pdf";
    if (IsMultiPageTiff(settings)) return outputFolder + baseName + std::string(OutputFormatOf(kOutputTiff).extension);
    return std::string();
}

bool OutputsInPlace(const Settings& settings, const std::string& input, const std::string& outputFolder,
                    const std::string& baseName, DocumentContext& context) {
    if (const std::string single = SingleOutputPath(settings, outputFolder, baseName); !single.empty()) {
        if (!platform::FileExists(single)) return false;
        context.AddOutput(single);
        return true;
    }
    // Most documents not yet converted lack their first page: no engine run for those.
    if (!platform::FileExists(PageOutput(settings, outputFolder, baseName, 1))) return false;
    const int pages = CountPages(input, context);
    if (pages <= 0) return false;
    std::vector<std::string> outputs;
    for (int page = 1; page <= pages; ++page) {
        outputs.push_back(PageOutput(settings, outputFolder, baseName, page));
        if (!platform::FileExists(outputs.back())) return false;
    }
    for (const std::string& output : outputs) context.AddOutput(output);
    context.pages = pages;
    return true;
}
