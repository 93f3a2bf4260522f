#include "driver/renderer.h"

#include <climits>
#include <cstdlib>

#include "driver/document_log.h"
#include "platform/file_helpers.h"
#include "platform/platform.h"
#include "protocol/engine_protocol.h"
#include "settings/converter_message.h"

namespace {

// Splits the engine's output, in pieces of any size, into lines: its words to the converter
// (pages done, the page count, keep-alive) and, when it writes its errors there too, its
// messages. A line too long to be one of its words is cut, so that a flood costs no memory.
class EngineOutputReader {
  public:
    explicit EngineOutputReader(const RendererOptions& options) : options_(options) {}

    void Read(const char* bytes, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (bytes[i] != '\n') {
                if (line_.size() < kLongestLine) line_ += bytes[i]; else cut_ = true;
                continue;
            }
            Take();
        }
    }
    // The last line, when the output ended without a line end.
    void Finish() {
        if (!line_.empty()) Take();
    }
    // The engine said that a page failed for want of memory within its budget.
    bool BudgetReached() const { return budgetReached_; }

  private:
    static constexpr size_t kLongestLine = 4096;

    void Take() {
        while (!line_.empty() && line_.back() == '\r') line_.pop_back();
        int number = 0;
        if (protocol::ReadPageLine(protocol::kPageDoneWord, line_, number)) {
            if (options_.pageDone) options_.pageDone(number);
        } else if (protocol::ReadPageLine(protocol::kPageCountWord, line_, number)) {
            if (options_.pagesCounted) options_.pagesCounted(number);
        } else if (options_.log != nullptr && !line_.empty() &&
                   line_.compare(0, protocol::kKeepAliveWords.size(), protocol::kKeepAliveWords) != 0) {
            options_.log->Add(cut_ ? line_ + " [...]" : line_);
            if (!cut_ && protocol::SaysBudgetReached(line_)) budgetReached_ = true;
        }
        line_.clear();
        cut_ = false;
    }

    const RendererOptions& options_;
    std::string line_;
    bool cut_ = false;
    bool budgetReached_ = false;
};

// A complaint of the runner's own: into the document's log when there is one.
void Complain(const RendererOptions& options, const std::string& line) {
    if (options.log != nullptr) {
        options.log->Add(line);
    } else {
        platform::ReportError(line);
    }
}

}  // namespace

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
    if (options.end != nullptr) *options.end = EngineEnd{};
    if (commandLine.size() > kRendererCommandCapacity) return -2;
    const int idleLimitMs =
        options.idleLimitMs == kIdleLimitFromEnvironment ? RendererIdleLimitMs() : options.idleLimitMs;
    platform::ChildProcess child;
    if (!platform::StartChildProcess(platform::SplitCommandLine(commandLine), child,
                                     options.extraEnvironment, options.log != nullptr)) {
        return -2;
    }
    if (options.input != nullptr) options.input->Connect(&child);
    bool timeLimitReached = false;
    // The output is read as it comes (so the engine never blocks on a full pipe), for the page
    // announcements and as a sign of life.
    EngineOutputReader reader(options);
    char buffer[kRendererReadChunk];
    while (true) {
        if (!platform::WaitForChildOutput(child, idleLimitMs)) {
            Complain(options, ConverterMessage(
                "the rendering engine made no progress for " + std::to_string(idleLimitMs / 1000) +
                " s and was ended (" + kPageTimeoutVariable + " sets the limit)"));
            platform::KillChildProcess(child);
            timeLimitReached = true;
            break;
        }
        const size_t count = platform::ReadChildOutput(child, buffer, sizeof(buffer));
        if (count == 0) break;
        reader.Read(buffer, count);
    }
    reader.Finish();
    if (!platform::WaitChildProcess(child, kRendererLingerMs)) platform::KillChildProcess(child);
    if (options.input != nullptr) options.input->Connect(nullptr);
    platform::CloseChildProcess(child);
    if (engineSucceeded != nullptr) *engineSucceeded = child.exitCode == 0;
    if (engineExitCode != nullptr) *engineExitCode = child.exitCode;
    if (options.end != nullptr) {
        EngineEnd& end = *options.end;
        if (timeLimitReached) {
            end.cause = EngineEnd::Cause::kTimeLimit;
        } else if (!child.crash.empty()) {
            end.cause = EngineEnd::Cause::kCrash;
            end.crash = child.crash;
        } else if (reader.BudgetReached()) {
            end.cause = EngineEnd::Cause::kMemoryBudget;
        }
    }
    return 1;
}
