// Sets up temporaries for the interrupt cleanup and waits to be interrupted.
//   interrupt_cleanup_program FOLDER ENGINE [MARKER]
// (MARKER is ignored: a test adds it to find this process by its command line.)
// Under FOLDER: a registered temporary "out.png.tmp-abc" that ENGINE (started as a child with
// "rewrite") keeps writing a partial file beside, "out.png.tmp-abc.0123456789abcdef.part";
// files that must stay ("keep.png", "out.png.tmp-abcd", a temporary registered and forgotten
// again "done.png.tmp-xyz"); a registered folder "pages" holding page files and a forgotten one
// "old". Then writes "ready CHILD-ID" on standard output and sleeps, its threads with it.
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"

int main(int argc, char** argv) {
    platform::InstallInterruptCleanup();
    if (argc < 3) return 2;
    const std::string folder = std::string(argv[1]) + "/";
    // Threads started afterwards must not take the signals themselves.
    for (int i = 0; i < 3; ++i) {
        std::thread([] {
            while (true) platform::SleepMilliseconds(1000);
        }).detach();
    }

    const std::string temporary = folder + "out.png.tmp-abc";
    platform::RegisterTemporaryFile(temporary);
    WriteFile(temporary, "partial");
    WriteFile(folder + "keep.png", "kept");
    WriteFile(folder + "out.png.tmp-abcd", "someone else's");
    platform::RegisterTemporaryFile(folder + "done.png.tmp-xyz");
    WriteFile(folder + "done.png.tmp-xyz", "renamed soon");
    platform::ForgetTemporaryFile(folder + "done.png.tmp-xyz");

    const std::string pages = folder + "pages/";
    std::filesystem::create_directory(pages);
    platform::RegisterTemporaryFolder(pages);
    WriteFile(pages + "page001.bmp", "page");
    WriteFile(pages + "page002.bmp", "page");
    std::filesystem::create_directory(folder + "old");
    platform::RegisterTemporaryFolder(folder + "old/");
    platform::ForgetTemporaryFolder(folder + "old/");

    platform::ChildProcess engine;
    const std::string part = temporary + ".0123456789abcdef.part";
    if (!platform::StartChildProcess({argv[2], "rewrite", part}, engine)) return 3;
    while (!std::filesystem::exists(part)) platform::SleepMilliseconds(1);
    std::printf("ready %lld\n", static_cast<long long>(engine.id));
    std::fflush(stdout);
    while (true) platform::SleepMilliseconds(1000);
}
