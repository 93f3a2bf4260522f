#include "driver/watchdog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <filesystem>
#include <thread>

#include "platform/platform.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

bool ProcessAlive(int64_t id) {
    for (const platform::ProcessInfo& process : platform::ListProcesses())
        if (process.id == id) return true;
    return false;
}

// Starts a copy of the fake engine under the given name, detached from this process (its
// parent becomes another process), and returns its id.
int64_t StartForeign(const TempDir& dir, const std::string& name) {
    const std::string program = dir / name;
    fs::copy_file(TestHelpersDir() + "/fake_engine_program", program, fs::copy_options::overwrite_existing);
    const std::string pidFile = dir / (name + ".pid");
    RunShell("( " + ShellQuote(program) + " sleep 20000 & echo $! > " + ShellQuote(pidFile) + " )");
    const int64_t id = std::atoll(ReadFile(pidFile).c_str());
    // Until the shell's child has started the program, the process list shows the shell.
    for (int waited = 0; waited < 3000; waited += 5) {
        for (const platform::ProcessInfo& process : platform::ListProcesses(name.substr(0, 15)))
            if (process.id == id) return id;
        platform::SleepMilliseconds(5);
    }
    return id;
}

class WatchdogTest : public ::testing::Test {
protected:
    void StartWatchdog() { watchdog = std::thread(CrashDialogWatchdog, std::ref(active)); }
    void TearDown() override {
        StopWatchdog(active);
        if (watchdog.joinable()) watchdog.join();
        for (int64_t id : foreign) platform::TerminateProcessById(id);
    }
    std::atomic<int> active{1};
    std::thread watchdog;
    std::vector<int64_t> foreign;
    TempDir dir;
};

TEST_F(WatchdogTest, CrashDialogEndsAndTakesOnlyOurOwnEngineWithIt) {
    const std::string engine = dir / "proc.dll";
    fs::copy_file(TestHelpersDir() + "/fake_engine_program", engine);
    platform::ChildProcess child;
    ASSERT_TRUE(platform::StartChildProcess({engine, "sleep", "20000"}, child));
    const int64_t foreignEngine = StartForeign(dir, "proc.dll.copy");
    foreign.push_back(foreignEngine);
    // The foreign engine must carry the engine's exact name: give it its own folder.
    TempDir other;
    const int64_t foreignNamed = StartForeign(other, "proc.dll");
    foreign.push_back(foreignNamed);

    StartWatchdog();
    platform::SleepMilliseconds(250);
    EXPECT_FALSE(platform::WaitChildProcess(child, 100)) << "engine ended without a crash dialog";
    const int64_t dialog = StartForeign(dir, "WerFault.exe");
    foreign.push_back(dialog);

    const auto start = std::chrono::steady_clock::now();
    const bool engineEnded = platform::WaitChildProcess(child, 1000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    platform::KillChildProcess(child);
    platform::CloseChildProcess(child);

    EXPECT_TRUE(engineEnded);
    EXPECT_LT(seconds, 0.6);
    platform::SleepMilliseconds(50);
    EXPECT_FALSE(ProcessAlive(dialog));
    EXPECT_TRUE(ProcessAlive(foreignNamed)) << "another program's process of the engine's name was ended";
}

static double SecondsToJoin(std::thread& thread, const std::function<void()>& stop) {
    const auto start = std::chrono::steady_clock::now();
    stop();
    thread.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(WatchdogTest, StoppedThreadEndsAtOnceAndAMereFlagWithinOneCycle) {
    StartWatchdog();
    platform::SleepMilliseconds(150);
    // Woken: no waiting out the rest of the scan cycle (every run pays this at its end).
    EXPECT_LT(SecondsToJoin(watchdog, [&] { StopWatchdog(active); }), 0.03);

    active = 1;
    StartWatchdog();
    platform::SleepMilliseconds(150);
    EXPECT_LT(SecondsToJoin(watchdog, [&] { active = 0; }), 0.15);
}

TEST(KillProcessesByNameTest, NameIsMatchedExactly) {
    TempDir dir;
    const int64_t lower = StartForeign(dir, "werfault.exe");
    EXPECT_EQ(KillProcessesByName("WerFault.exe", false), 0);
    EXPECT_TRUE(ProcessAlive(lower));
    EXPECT_EQ(KillProcessesByName("werfault.exe", false), 1);
    platform::SleepMilliseconds(50);
    EXPECT_FALSE(ProcessAlive(lower));
}

}  // namespace
