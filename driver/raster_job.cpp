#include "driver/raster_job.h"

#include "driver/messages.h"
#include "protocol/engine_protocol.h"

std::string BuildRasterCommandLine(const std::string& inputPath, const std::string& pageTemplate,
                                   const Settings& settings) {
    protocol::EngineRequest request;
    request.device = protocol::Device::Bmp16m;
    request.outputFile = pageTemplate;
    request.resolutionX = settings.resolutionX;
    request.resolutionY = settings.resolutionY;
    request.info = {{"Producer", kRasterProducer}};
    request.inputPath = inputPath;
    return std::string(kRendererFileName) + " " + protocol::FormatEngineArguments(request);
}

int RunRasterJob(const std::string& inputPath, const std::string& baseName,
                 const std::string& pageFolder, const Settings& settings, bool* engineSucceeded,
                 int* engineExitCode, int pageBacklog, RendererOptions options) {
    if (pageBacklog > 0) {
        options.extraEnvironment.push_back(std::string(protocol::kPageBacklogVariable) + "=" +
                                           std::to_string(pageBacklog));
    }
    const std::string commandLine =
        BuildRasterCommandLine(inputPath, protocol::PageFileTemplate(pageFolder, baseName), settings);
    return RunRenderer(commandLine, engineSucceeded, engineExitCode, options);
}
