// How a child process starts: a program that cannot be executed is reported as not started,
// a started one does not keep the start waiting, it begins free to take interrupts (on POSIX
// with no signal blocked), and it ends with the thread (on Windows: the process) that started
// it, even when that process is killed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/platform.h"
#include "platform/child_output.h"
#include "platform/interrupt_delivery.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string FakeEngine() { return HelperProgram("fake_engine_program"); }

bool ProcessAlive(int64_t id) {
    for (const platform::ProcessInfo& process : platform::ListProcesses())
        if (process.id == id) return true;
    return false;
}

TEST(ChildStartTest, ProgramThatCannotBeExecutedIsNotStarted) {
    TempDir dir;
    WriteFile(dir / "plain.txt", "not a program\n");
    fs::permissions(dir / "plain.txt", fs::perms::owner_all);  // executable, yet no program
    for (const std::string& program : {std::string("/nonexistent/engine"), dir / "plain.txt", dir.str(),
                                       std::string("no-such-file-beside-the-program")}) {
        platform::ChildProcess child;
        EXPECT_FALSE(platform::StartChildProcess({program, "-dNOPAUSE"}, child)) << program;
        EXPECT_EQ(child.id, -1);
        EXPECT_EQ(child.outputPipe, -1);
        EXPECT_EQ(child.inputPipe, -1);
    }
}

TEST(ChildStartTest, StartReturnsWhileTheChildRuns) {
    platform::ChildProcess child;
    ASSERT_TRUE(platform::StartChildProcess({FakeEngine(), "sleep", "60000"}, child));
    // Nothing of the start (the report of a failed exec) stays open in the running child: had
    // the start waited for that, the child would have ended by now.
    EXPECT_FALSE(platform::WaitChildProcess(child, 0));
    platform::KillChildProcess(child);
    platform::CloseChildProcess(child);
}

#ifndef _WIN32
// Windows has no signal masks; the test after this one holds there too.
TEST(ChildStartTest, ChildStartsWithNoSignalBlockedWhatEverTheStartingThreadBlocks) {
    std::string status;
    // The installation blocks the interrupt signals in the thread that calls it.
    std::thread([&] {
        platform::InstallInterruptCleanup();
        platform::ChildProcess child;
        if (!platform::StartChildProcess({"/bin/grep", "^SigBlk", "/proc/self/status"}, child)) return;
        status = ReadWholeChildOutput(child);
        platform::WaitChildProcess(child, 5000);
        platform::CloseChildProcess(child);
    }).join();
    EXPECT_EQ(status, "SigBlk:\t0000000000000000\n");
}
#endif

// The interrupt set-up of the starting thread does not keep the child from being interrupted:
// on POSIX the signal's default action ends it, on Windows the default Ctrl+C handler does.
TEST(ChildStartTest, ChildStartedAfterTheInterruptSetUpStillTakesInterrupts) {
    TempDir dir;
    const std::string marker = InterruptMarker(dir);
    bool started = false, interrupted = false, ended = false;
    platform::ChildProcess child;
    // All on the starting thread: on POSIX the child would end with it.
    std::thread([&] {
        platform::InstallInterruptCleanup();
        // Its own end would come with exit code 9 after 20 s.
        started = platform::StartChildProcess({FakeEngine(), "exit", "9", "20000", marker}, child);
        if (!started) return;
        // Interrupted once it runs ("running" comes from its main).
        char buffer[16];
        const bool running = platform::WaitForChildOutput(child, 10000) &&
                             platform::ReadChildOutput(child, buffer, sizeof(buffer)) > 0;
        interrupted = running && Interrupt(child.id, marker, "INT");
        ended = interrupted && platform::WaitChildProcess(child, 10000);
        platform::KillChildProcess(child);
        platform::CloseChildProcess(child);
    }).join();
    ASSERT_TRUE(started);
    ASSERT_TRUE(interrupted);
    // Long before the end of its wait.
    ASSERT_TRUE(ended);
#ifdef _WIN32
    // STATUS_CONTROL_C_EXIT; Wine's default handler ends the process with 0.
    EXPECT_TRUE(child.exitCode == static_cast<int>(0xC000013A) || child.exitCode == 0) << child.exitCode;
#else
    EXPECT_TRUE(child.signalled);
    EXPECT_EQ(child.exitCode, 128 + 2);
#endif
}

#ifndef _WIN32
// On Windows a child is tied to the process that started it (a job closed only when that process
// ends), not to a thread; the next test holds on both systems.
TEST(ChildStartTest, ChildEndsWithTheThreadThatStartedIt) {
    platform::ChildProcess child;
    bool started = false;
    std::thread([&] { started = platform::StartChildProcess({FakeEngine(), "sleep", "20000"}, child); }).join();
    ASSERT_TRUE(started);
    // Long before its own end, from outside.
    EXPECT_TRUE(platform::WaitChildProcess(child, 10000));
    EXPECT_TRUE(child.signalled);
    EXPECT_EQ(child.exitCode, 128 + 9);
    platform::KillChildProcess(child);
    platform::CloseChildProcess(child);
}
#endif

TEST(ChildStartTest, ChildEndsWithTheProcessThatStartedItEvenWhenThatIsKilled) {
    TempDir dir;
    const std::string pidFile = dir / "child.pid";
    platform::ChildProcess starter;
    ASSERT_TRUE(platform::StartChildProcess({FakeEngine(), "child", FakeEngine(), "20000", pidFile}, starter));
    int64_t id = 0;
    for (int waited = 0; waited < 10000 && id <= 0; waited += 5) {
        id = std::atoll(ReadFile(pidFile).c_str());
        if (id <= 0) platform::SleepMilliseconds(5);
    }
    ASSERT_GT(id, 0);
    EXPECT_TRUE(ProcessAlive(id));
    // Ended from outside at once: none of the starter's own code runs to end its child.
    platform::KillChildProcess(starter);
    platform::CloseChildProcess(starter);
    // Long before its own end.
    const auto start = Clock::now();
    while (ProcessAlive(id) && SecondsSince(start) < 10) platform::SleepMilliseconds(5);
    EXPECT_FALSE(ProcessAlive(id));
}

}  // namespace
