#include "app/run_program.h"

#include <atomic>
#include <thread>

#include "app/command_line_parser.h"
#include "app/held_characters.h"
#include "app/input_collection.h"
#include "app/option_checks.h"
#include "app/shard.h"
#include "app/trim_spaces.h"
#include "driver/conversions.h"
#include "driver/post_processor.h"
#include "driver/renderer.h"
#include "driver/watchdog.h"
#include "platform/platform.h"
#include "settings/converter_message.h"
#include "settings/settings.h"

JoinedArguments JoinArguments(int count, char** arguments) {
    JoinedArguments joined;
    for (int i = 0; i < count; ++i) {
        const std::string argument = arguments[i];
        if (HoldsHeldCharacter(argument)) {
            joined.refusal =
                ConverterMessage("argument " + std::to_string(i + 1) +
                                 " holds a control character (0x1E or 0x1F) that cannot be "
                                 "passed on; nothing was converted");
            return joined;
        }
        if (i > 0) joined.text += ' ';
        joined.text += argument.empty() ? std::string("\"\"") : HoldCharacters(argument);
    }
    return joined;
}

int RunProgramOnArguments(int count, char** arguments) {
    const JoinedArguments joined = JoinArguments(count, arguments);
    if (!joined.refusal.empty()) {
        platform::ReportError(joined.refusal);
        return kExitCannotStart;
    }
    return RunProgram(joined.text);
}

int RunProgram(const std::string& commandLine) {
    if (!CheckRenderer()) return kExitCannotStart;
    PostProcessor postProcessor;
    if (!LoadPdfPostProcessor(postProcessor)) return kExitCannotStart;

    Settings settings;
    ResetSettings(settings);

    std::string text = commandLine;
    TrimSpaces(text);

    InputList inputs;
    ParseReport report;
    const int parsed = ParseCommandLine(text, settings, inputs, &report);
    std::vector<std::string> repairs = report.warnings;
    for (const std::string& line : OptionsThatCannotApply(settings, report)) repairs.push_back(line);
    if (!settings.quiet) {
        for (const std::string& line : repairs) platform::ReportError(line);
        for (const std::string& line : report.notices) platform::ReportError(line);
    }
    // A text beyond its capacity would lose options (a password, the output type) if it were
    // cut, so the run is refused instead; so is a bad value of a long option.
    if (!report.refusal.empty()) {
        platform::ReportError(report.refusal);
        return kExitCannotStart;
    }
    // Whatever else happens, a repaired command line is not told as plain success.
    const int success = repairs.empty() ? kExitSuccess : kExitRepaired;
    if (!parsed) return kExitSuccess;
    if (report.versionAsked) {
        platform::WriteOutput(std::string("xpsconv ") + XPSCONV_VERSION);
        return success;
    }

    FileList expanded;
    const int unmatchedInputs = ExpandInputs(inputs, expanded, settings.recursive);
    const FileList files = SelectShard(expanded, settings.shardIndex, settings.shardCount);

    std::atomic<int> conversionActive{1};
    std::thread watchdog(CrashDialogWatchdog, std::ref(conversionActive));
    const ConversionOutcome outcome = RunConversions(settings, files, postProcessor);
    // Waiting for the watchdog keeps it from outliving the flag it reads.
    StopWatchdog(conversionActive);
    watchdog.join();

    if (outcome.cannotStart) return kExitCannotStart;
    if (unmatchedInputs > 0 || outcome.failedDocuments > 0) return kExitSomeFailed;
    return success;
}
