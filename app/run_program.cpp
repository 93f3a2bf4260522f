#include "app/run_program.h"

#include <atomic>
#include <thread>

#include "app/command_line_parser.h"
#include "app/file_helpers.h"
#include "app/input_collection.h"
#include "app/settings.h"
#include "driver/conversions.h"
#include "driver/post_processor.h"
#include "driver/renderer.h"
#include "driver/watchdog.h"

std::string JoinArguments(int count, char** arguments) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const std::string argument = arguments[i];
        if (i > 0) text += ' ';
        if (argument.empty() || argument.find(' ') != std::string::npos) {
            text += '"' + argument + '"';
        } else {
            text += argument;
        }
    }
    return text;
}

int RunProgram(const std::string& commandLine) {
    if (!CheckRenderer()) return kExitCannotStart;
    PostProcessor postProcessor;
    if (!LoadPdfPostProcessor(postProcessor)) return kExitCannotStart;

    Settings settings;
    ResetSettings(settings);

    std::string text;
    AssignCapped(text, commandLine, kCommandLineCapacity);
    TrimSpaces(text);

    InputList inputs;
    if (!ParseCommandLine(text, settings, inputs)) return kExitSuccess;

    FileList files;
    const int unmatchedInputs = ExpandInputs(inputs, files);

    std::atomic<int> conversionActive{1};
    std::thread watchdog(CrashDialogWatchdog, std::ref(conversionActive));
    const ConversionOutcome outcome = RunConversions(settings, files, postProcessor);
    // Waiting for the watchdog keeps it from outliving the flag it reads.
    StopWatchdog(conversionActive);
    watchdog.join();

    if (outcome.cannotStart) return kExitCannotStart;
    if (unmatchedInputs > 0 || outcome.failedDocuments > 0) return kExitSomeFailed;
    return kExitSuccess;
}
