#include "driver/renderer.h"

#include <climits>
#include <cstdlib>

#include "platform/file_helpers.h"
#include "platform/platform.h"
#include "settings/converter_message.h"

int CheckRenderer() {
    if (platform::FileExists(platform::PathBesideProgram(kRendererFileName))) return 1;
    platform::ShowErrorMessage("Error", "Load proc.dll failed, please reinstall!");
    return 0;
}

int RendererIdleLimitMs() {
    static const int limitMs = [] {
        const char* text = std::getenv(kPageTimeoutVariable);
        if (text == nullptr || *text == '\0') return kRendererIdleLimitMs;
        char* end = nullptr;
        const long seconds = std::strtol(text, &end, 10);
        if (*end != '\0' || seconds <= 0 || seconds > INT_MAX / 1000) {
            platform::ReportError(ConverterMessage(std::string(kPageTimeoutVariable) + "=" + text +
                                                   " is not a positive number of seconds, " +
                                                   std::to_string(kRendererIdleLimitMs / 1000) +
                                                   " used"));
            return kRendererIdleLimitMs;
        }
        return static_cast<int>(seconds * 1000);
    }();
    return limitMs;
}

int RunRenderer(const std::string& commandLine, bool* engineSucceeded, int idleLimitMs,
                const std::vector<std::string>& extraEnvironment, int* engineExitCode) {
    if (engineSucceeded != nullptr) *engineSucceeded = false;
    if (engineExitCode != nullptr) *engineExitCode = -1;
    if (commandLine.size() > kRendererCommandCapacity) return -2;
    if (idleLimitMs == kIdleLimitFromEnvironment) idleLimitMs = RendererIdleLimitMs();
    platform::ChildProcess child;
    if (!platform::StartChildProcess(platform::SplitCommandLine(commandLine), child,
                                     extraEnvironment)) {
        return -2;
    }
    // The output is only drained (so the engine never blocks on a full pipe) and watched for
    // signs of life.
    char buffer[kRendererReadChunk];
    while (true) {
        if (!platform::WaitForChildOutput(child, idleLimitMs)) {
            platform::ReportError(ConverterMessage(
                "the rendering engine made no progress for " + std::to_string(idleLimitMs / 1000) +
                " s and was ended (" + kPageTimeoutVariable + " sets the limit)"));
            platform::KillChildProcess(child);
            break;
        }
        if (platform::ReadChildOutput(child, buffer, sizeof(buffer)) == 0) break;
    }
    if (!platform::WaitChildProcess(child, kRendererLingerMs)) platform::KillChildProcess(child);
    platform::CloseChildProcess(child);
    if (engineSucceeded != nullptr) *engineSucceeded = child.exitCode == 0;
    if (engineExitCode != nullptr) *engineExitCode = child.exitCode;
    return 1;
}
