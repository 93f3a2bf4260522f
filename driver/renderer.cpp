#include "driver/renderer.h"

#include "app/file_helpers.h"
#include "platform/platform.h"

int CheckRenderer() {
    if (FileExists(PathBesideProgram(kRendererFileName))) return 1;
    platform::ShowErrorMessage("Error", "Load proc.dll failed, please reinstall!");
    return 0;
}

int RunRenderer(const std::string& commandLine, bool* engineSucceeded) {
    if (engineSucceeded != nullptr) *engineSucceeded = false;
    if (commandLine.size() > kRendererCommandCapacity) return -2;
    platform::ChildProcess child;
    if (!platform::StartChildProcess(platform::SplitCommandLine(commandLine), child)) return -2;
    char buffer[kRendererReadChunk];
    while (platform::ReadChildOutput(child, buffer, sizeof(buffer)) > 0) {
        // The engine's output is only drained, so that it never blocks on a full pipe.
    }
    if (!platform::WaitChildProcess(child, kRendererLingerMs)) platform::KillChildProcess(child);
    platform::CloseChildProcess(child);
    if (engineSucceeded != nullptr) *engineSucceeded = child.exitCode == 0;
    return 1;
}
