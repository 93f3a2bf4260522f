#include "app/run_program.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // First, before any thread exists: every thread started later inherits the blocked signals.
    platform::InstallInterruptCleanup();
    return RunProgramOnArguments(argc - 1, argv + 1);
}
