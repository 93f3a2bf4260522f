#pragma once
// The rendering engine: an executable beside the program, started once per document.

#include <string>
#include <vector>

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

// The engine's exit codes.
constexpr int kEngineAllWritten = 0;
constexpr int kEngineSomePagesFailed = 1;  // the output was written, some pages are incomplete
constexpr int kEngineUnreadable = 2;       // nothing written: the document could not be read

// The silence limit: XPSCONV_PAGE_TIMEOUT seconds when valid (else a warning, once), or the default.
int RendererIdleLimitMs();

// 1 when the engine file is beside the program; otherwise shows the error message and gives 0.
int CheckRenderer();
// Starts the engine on the command line (split by the Windows rules), drains and discards its
// standard output until it closes, gives it a second to end and then ends it. Returns 1 when the
// engine was started, -2 when a pipe or the process could not be created. engineSucceeded, when
// given, tells whether the engine ended by itself with exit code 0, and engineExitCode its exit
// code (-1 when it was ended). extraEnvironment ("NAME=value" each) is set for the engine alone.
int RunRenderer(const std::string& commandLine, bool* engineSucceeded = nullptr,
                int idleLimitMs = kIdleLimitFromEnvironment,
                const std::vector<std::string>& extraEnvironment = {}, int* engineExitCode = nullptr);
