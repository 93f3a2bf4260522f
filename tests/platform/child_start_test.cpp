// How a child process starts: a program that cannot be executed is reported as not started,
// a started one does not keep the start waiting, it begins with no signal blocked, and it ends
// with the thread that started it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/platform.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string FakeEngine() { return TestHelpersDir() + "/fake_engine_program"; }

std::string Output(platform::ChildProcess& child) {
    std::string output;
    char buffer[256];
    while (platform::WaitForChildOutput(child, 10000)) {
        const size_t count = platform::ReadChildOutput(child, buffer, sizeof(buffer));
        if (count == 0) break;
        output.append(buffer, count);
    }
    return output;
}

TEST(ChildStartTest, ProgramThatCannotBeExecutedIsNotStarted) {
    TempDir dir;
    WriteFile(dir / "plain.txt", "not a program\n");
    fs::permissions(dir / "plain.txt", fs::perms::owner_all);  // executable, yet no program
    for (const std::string& program : {std::string("/nonexistent/engine"), dir / "plain.txt", dir.str(),
                                       std::string("no-such-file-beside-the-program")}) {
        platform::ChildProcess child;
        const auto start = Clock::now();
        EXPECT_FALSE(platform::StartChildProcess({program, "-dNOPAUSE"}, child)) << program;
        EXPECT_LT(SecondsSince(start), 0.5) << program;
        EXPECT_EQ(child.id, -1);
        EXPECT_EQ(child.outputPipe, -1);
        EXPECT_EQ(child.inputPipe, -1);
    }
}

TEST(ChildStartTest, StartReturnsWhileTheChildRuns) {
    platform::ChildProcess child;
    auto start = Clock::now();
    ASSERT_TRUE(platform::StartChildProcess({FakeEngine(), "sleep", "3000"}, child));
    // Nothing of the start (the report of a failed exec) stays open in the running child.
    EXPECT_LT(SecondsSince(start), 0.5);
    platform::KillChildProcess(child);
    platform::CloseChildProcess(child);

}

TEST(ChildStartTest, ChildStartsWithNoSignalBlockedWhatEverTheStartingThreadBlocks) {
    std::string status;
    // The installation blocks the interrupt signals in the thread that calls it.
    std::thread([&] {
        platform::InstallInterruptCleanup();
        platform::ChildProcess child;
        if (!platform::StartChildProcess({"/bin/grep", "^SigBlk", "/proc/self/status"}, child)) return;
        status = Output(child);
        platform::WaitChildProcess(child, 5000);
        platform::CloseChildProcess(child);
    }).join();
    EXPECT_EQ(status, "SigBlk:\t0000000000000000\n");
}

TEST(ChildStartTest, ChildEndsWithTheThreadThatStartedIt) {
    platform::ChildProcess child;
    bool started = false;
    std::thread([&] { started = platform::StartChildProcess({FakeEngine(), "sleep", "20000"}, child); }).join();
    ASSERT_TRUE(started);
    const auto start = Clock::now();
    EXPECT_TRUE(platform::WaitChildProcess(child, 3000));
    EXPECT_LT(SecondsSince(start), 1.0);
    EXPECT_TRUE(child.signalled);
    EXPECT_EQ(child.exitCode, 128 + 9);
    platform::KillChildProcess(child);
    platform::CloseChildProcess(child);
}

}  // namespace
