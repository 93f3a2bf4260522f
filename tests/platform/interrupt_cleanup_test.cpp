// The interrupt cleanup, in a helper program that registers temporaries and a child that keeps
// writing a partial file: on SIGINT, SIGTERM or SIGHUP (on Windows: Ctrl+C) the child is ended
// first, the registered files (with their partial siblings) and folders go, everything else
// stays, and the process exits with 128 + the signal (130 for Ctrl+C).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>

#include "platform/interrupt_delivery.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct Signal {
    const char* name;
    int number;
};
void PrintTo(const Signal& signal, std::ostream* out) { *out << "SIG" << signal.name; }

bool ProcessAlive(int64_t id) {
    for (const platform::ProcessInfo& process : platform::ListProcesses())
        if (process.id == id) return true;
    return false;
}

// Reads the child's output up to its first line.
std::string FirstLine(platform::ChildProcess& child) {
    std::string text;
    char buffer[256];
    while (text.find('\n') == std::string::npos && platform::WaitForChildOutput(child, 10000)) {
        const size_t count = platform::ReadChildOutput(child, buffer, sizeof(buffer));
        if (count == 0) break;
        text.append(buffer, count);
    }
    return text.substr(0, text.find('\n'));
}

class CleanupHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(folder);
        fs::copy_file(HelperProgram("fake_engine_program"), engine);
    }
    // Starts the helper (through prefix, when given) and waits until it is ready; the id of its
    // child.
    int64_t StartHelper(const std::vector<std::string>& prefix = {}) {
        std::vector<std::string> arguments = prefix;
        arguments.insert(arguments.end(), {HelperProgram("interrupt_cleanup_program"), folder, engine, marker});
        EXPECT_TRUE(platform::StartChildProcess(arguments, helper));
        const std::string ready = FirstLine(helper);
        EXPECT_EQ(ready.rfind("ready ", 0), 0u) << ready;
        return ready.size() > 6 ? std::atoll(ready.c_str() + 6) : 0;
    }
    void TearDown() override {
        platform::KillChildProcess(helper);
        platform::CloseChildProcess(helper);
    }
    // The child wrote its partial file over and over: gone before the folder is looked at, it
    // cannot bring the file back afterwards, and had it outlived the removal, the file is back.
    void ExpectCleanedUp(int64_t child) {
        using Names = std::vector<std::string>;
        EXPECT_FALSE(ProcessAlive(child));
        EXPECT_EQ(ListNames(folder), (Names{"done.png.tmp-xyz", "keep.png", "out.png.tmp-abcd"}));
        EXPECT_FALSE(fs::exists(folder + "/pages"));
        EXPECT_TRUE(fs::is_directory(folder + "/old"));
    }

    // On Windows the interrupt finds the helper by the marker on its command line.
    bool Send(const char* signal, int64_t id) { return Interrupt(id, marker, signal); }

    TempDir dir;
    const std::string folder = dir / "out";
    const std::string engine = dir / "proc.dll";
    const std::string marker = InterruptMarker(dir);
    platform::ChildProcess helper;
};

class InterruptCleanupTest : public CleanupHelperTest, public ::testing::WithParamInterface<Signal> {};

TEST_P(InterruptCleanupTest, EndsTheChildRemovesTheTemporariesAndExitsWithTheSignal) {
    const int64_t child = StartHelper();
    ASSERT_GT(child, 0);
    ASSERT_TRUE(fs::exists(folder + "/out.png.tmp-abc.0123456789abcdef.part"));
    ASSERT_TRUE(Send(GetParam().name, helper.id));
    ASSERT_TRUE(platform::WaitChildProcess(helper, 10000));
    EXPECT_EQ(helper.exitCode, 128 + GetParam().number);
    EXPECT_FALSE(helper.signalled) << "ended by the signal itself, without the cleanup";
    ExpectCleanedUp(child);
}

// Windows has Ctrl+C for SIGINT. Its counterparts of SIGTERM (the console closing, the user
// logging off, the system shutting down) cannot be raised for one program under test, and it
// has no hang-up.
#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Signals, InterruptCleanupTest, ::testing::Values(Signal{"INT", 2}),
                         [](const auto& info) { return std::string(info.param.name); });
#else
INSTANTIATE_TEST_SUITE_P(Signals, InterruptCleanupTest,
                         ::testing::Values(Signal{"INT", 2}, Signal{"TERM", 15}, Signal{"HUP", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// Windows starts a program with Ctrl+C ignored only when asked at its creation (a new process
// group), which neither the platform layer nor the test support can ask for.
using IgnoredSignalTest = CleanupHelperTest;

// Whether the system discards hang-ups sent to the process (its "SigIgn" mask, bit 0 for SIGHUP).
bool IgnoresHangUps(int64_t id) {
    const std::string status = ReadFile("/proc/" + std::to_string(id) + "/status");
    const size_t at = status.find("\nSigIgn:\t");
    return at != std::string::npos && std::stoull(status.substr(at + 9, 16), nullptr, 16) & 1u;
}

TEST_F(IgnoredSignalTest, SignalIgnoredFromTheStartStaysIgnored) {
    // As nohup starts a program: hang-ups ignored, by the helper and by its child alike.
    const int64_t child = StartHelper({"/bin/sh", "-c", "trap '' HUP; exec \"$0\" \"$@\""});
    ASSERT_GT(child, 0);
    EXPECT_TRUE(IgnoresHangUps(helper.id));
    EXPECT_TRUE(IgnoresHangUps(child));
    Send("HUP", child);
    EXPECT_TRUE(ProcessAlive(child));
    // A hang-up the helper took would be pending before the later TERM and taken first.
    Send("HUP", helper.id);
    Send("TERM", helper.id);
    ASSERT_TRUE(platform::WaitChildProcess(helper, 10000));
    EXPECT_EQ(helper.exitCode, 128 + 15);
    ExpectCleanedUp(child);
}
#endif

}  // namespace
