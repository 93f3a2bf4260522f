#pragma once
// The rendering engine: an executable beside the program, started once per document.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "driver/engine_end.h"

namespace platform {
struct ChildProcess;
}
class DocumentLog;

constexpr const char* kRendererFileName = "proc.dll";
constexpr size_t kRendererCommandCapacity = 8000;
constexpr size_t kRendererReadChunk = 1024;
constexpr int kRendererLingerMs = 1000;
// The engine reports every finished page on its standard output. One that stays silent this
// long is taken to be stuck and is ended, so that a bad document cannot hold up a batch.
constexpr int kRendererIdleLimitMs = 120 * 1000;
// Seconds of silence allowed instead, when set to a positive whole number.
constexpr const char* kPageTimeoutVariable = "XPSCONV_PAGE_TIMEOUT";
// Passed as idleLimitMs: take the limit from the environment (or the default).
constexpr int kIdleLimitFromEnvironment = -1;

// The silence limit: XPSCONV_PAGE_TIMEOUT seconds when valid (else a warning, once), or the default.
int RendererIdleLimitMs();

// Lines for the engine's standard input, said from any thread while RunRenderer runs the engine
// it was given to; said before the engine started or after it ended, they go nowhere.
class EngineInput {
  public:
    // False when the line did not reach the engine.
    bool Say(const std::string& line);
    // For RunRenderer: the engine the lines go to from now on, nullptr for none.
    void Connect(platform::ChildProcess* child);

  private:
    std::mutex mutex_;
    platform::ChildProcess* child_ = nullptr;
};

// What a run of the engine may have beyond the command line.
struct RendererOptions {
    int idleLimitMs = kIdleLimitFromEnvironment;
    // "NAME=value" each, set for the engine alone.
    std::vector<std::string> extraEnvironment;
    // Called on the runner's thread with every page the engine announces finished.
    std::function<void(int page)> pageDone;
    // Connected to the engine's standard input while it runs.
    EngineInput* input = nullptr;
    // When given, the engine's standard error comes through its output pipe, and every line
    // there that is not the engine's word to the converter goes into the log, with the runner's
    // own complaints; otherwise the engine writes to this program's standard error.
    DocumentLog* log = nullptr;
    // Called with N when the engine says "pages N" (the page-count device).
    std::function<void(int pages)> pagesCounted;
    // When given, set to how the engine's run ended once it has (its memory budget is known
    // only when its errors come to the log).
    EngineEnd* end = nullptr;
};

// 1 when the engine file is beside the program; otherwise shows the error message and gives 0.
int CheckRenderer();
// Starts the engine on the command line (split by the Windows rules), reads its standard output
// until it closes (passing on page announcements), gives it a second to end and then ends it.
// Returns 1 when the engine was started, -2 when a pipe or the process could not be created.
// engineSucceeded, when given, tells whether the engine ended by itself with exit code 0, and
// engineExitCode its exit code (-1 when it was ended).
int RunRenderer(const std::string& commandLine, bool* engineSucceeded = nullptr,
                int* engineExitCode = nullptr, const RendererOptions& options = {});
