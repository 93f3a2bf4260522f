#include "driver/renderer.h"

#include <climits>
#include <cstdlib>

#include "platform/file_helpers.h"
#include "platform/platform.h"
#include "protocol/engine_protocol.h"
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

bool EngineInput::Say(const std::string& line) {
    std::lock_guard lock(mutex_);
    return child_ != nullptr && platform::WriteChildInput(*child_, line.data(), line.size());
}

void EngineInput::Connect(platform::ChildProcess* child) {
    std::lock_guard lock(mutex_);
    child_ = child;
}

int RunRenderer(const std::string& commandLine, bool* engineSucceeded, int* engineExitCode,
                const RendererOptions& options) {
    if (engineSucceeded != nullptr) *engineSucceeded = false;
    if (engineExitCode != nullptr) *engineExitCode = -1;
    if (commandLine.size() > kRendererCommandCapacity) return -2;
    const int idleLimitMs =
        options.idleLimitMs == kIdleLimitFromEnvironment ? RendererIdleLimitMs() : options.idleLimitMs;
    platform::ChildProcess child;
    if (!platform::StartChildProcess(platform::SplitCommandLine(commandLine), child,
                                     options.extraEnvironment)) {
        return -2;
    }
    if (options.input != nullptr) options.input->Connect(&child);
    // The output is read as it comes (so the engine never blocks on a full pipe), for the page
    // announcements and as a sign of life.
    protocol::PageLineReader announcements(protocol::kPageDoneWord);
    char buffer[kRendererReadChunk];
    while (true) {
        if (!platform::WaitForChildOutput(child, idleLimitMs)) {
            platform::ReportError(ConverterMessage(
                "the rendering engine made no progress for " + std::to_string(idleLimitMs / 1000) +
                " s and was ended (" + kPageTimeoutVariable + " sets the limit)"));
            platform::KillChildProcess(child);
            break;
        }
        const size_t count = platform::ReadChildOutput(child, buffer, sizeof(buffer));
        if (count == 0) break;
        if (options.pageDone) announcements.Read(buffer, count, options.pageDone);
    }
    if (!platform::WaitChildProcess(child, kRendererLingerMs)) platform::KillChildProcess(child);
    if (options.input != nullptr) options.input->Connect(nullptr);
    platform::CloseChildProcess(child);
    if (engineSucceeded != nullptr) *engineSucceeded = child.exitCode == 0;
    if (engineExitCode != nullptr) *engineExitCode = child.exitCode;
    return 1;
}
