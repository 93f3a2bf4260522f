#include "driver/renderer.h"

#include "app/file_helpers.h"
#include "platform/platform.h"

int CheckRenderer() {
    if (FileExists(PathBesideProgram(kRendererFileName))) return 1;
    platform::ShowErrorMessage("Error", "Load proc.dll failed, please reinstall!");
    return 0;
}

int RunRenderer(const std::string& commandLine, bool* engineSucceeded, int idleLimitMs,
                const std::vector<std::string>& extraEnvironment) {
    if (engineSucceeded != nullptr) *engineSucceeded = false;
    if (commandLine.size() > kRendererCommandCapacity) return -2;
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
            platform::ReportError("xpsconv: the rendering engine stopped making progress and was ended");
            platform::KillChildProcess(child);
            break;
        }
        if (platform::ReadChildOutput(child, buffer, sizeof(buffer)) == 0) break;
    }
    if (!platform::WaitChildProcess(child, kRendererLingerMs)) platform::KillChildProcess(child);
    platform::CloseChildProcess(child);
    if (engineSucceeded != nullptr) *engineSucceeded = child.exitCode == 0;
    return 1;
}
