#include <string>

#include "app/run_program.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // First, before any thread exists: every thread started later inherits the blocked signals.
    platform::InstallInterruptCleanup();
    platform::KeepFreedMemoryForReuse();
    // Where the system hands over the command-line text itself, the grammar reads it as typed.
    std::string text;
    if (platform::ProgramArgumentsText(text)) return RunProgram(text);
    return RunProgramOnArguments(argc - 1, argv + 1);
}
