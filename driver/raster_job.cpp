#include "driver/raster_job.h"

#include "driver/messages.h"
#include "driver/renderer.h"
#include "platform/platform.h"

std::string PageFileTemplate(const std::string& pageFolder, const std::string& baseName) {
    std::string escaped;
    for (char c : baseName) {
        escaped += c;
        if (c == '%') escaped += '%';
    }
    return pageFolder + escaped + "_%03d.bmp";
}

std::string BuildRasterCommandLine(const std::string& inputPath, const std::string& pageTemplate,
                                   const Settings& settings) {
    std::string line = std::string(kRendererFileName) + " ";
    line += "-dNOPAUSE -sDEVICE=bmp16m ";
    line += "-sOutputFile=" + platform::QuoteArgument(pageTemplate) + " ";
    line += "-r" + std::to_string(settings.resolutionX) + "x" + std::to_string(settings.resolutionY) + " ";
    line += std::string("-wProducer=") + kRasterProducer + " ";
    line += platform::QuoteArgument(inputPath) + " ";
    return line;
}

int RunRasterJob(const std::string& inputPath, const std::string& baseName,
                 const std::string& pageFolder, const Settings& settings, bool* engineSucceeded,
                 int pageBacklog, int* engineExitCode) {
    std::vector<std::string> environment;
    if (pageBacklog > 0) {
        environment.push_back(std::string(kPageBacklogVariable) + "=" + std::to_string(pageBacklog));
    }
    return RunRenderer(BuildRasterCommandLine(inputPath, PageFileTemplate(pageFolder, baseName), settings),
                       engineSucceeded, kIdleLimitFromEnvironment, environment, engineExitCode);
}
