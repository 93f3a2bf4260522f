// The process list: names as the system shows them (blanks and parentheses included), parent
// ids, ended processes left out, and no failure while processes come and go under it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/platform.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

const platform::ProcessInfo* Find(const std::vector<platform::ProcessInfo>& list, int64_t id) {
    for (const platform::ProcessInfo& process : list)
        if (process.id == id) return &process;
    return nullptr;
}

TEST(ListProcessesTest, ListsWhileShortLivedProcessesComeAndGo) {
    TempDir dir;
    // On POSIX the name ends at its last ')', whatever it holds. A copy, as Windows names a
    // process after its own file.
    const std::string oddName = "x) (y z)";
    fs::copy_file(HelperProgram("fake_engine_program"), dir / oddName);
    platform::ChildProcess steady;
    ASSERT_TRUE(platform::StartChildProcess({dir / oddName, "sleep", "60000"}, steady));
    const int64_t self = platform::CurrentProcessId();

    std::atomic<bool> stop{false};
    std::atomic<int> churned{0};
    auto churn = [&] {
        while (!stop) {
            platform::ChildProcess brief;
            if (platform::StartChildProcess({HelperProgram("fake_engine_program"), "exit", "0"}, brief)) {
                platform::WaitChildProcess(brief, 5000);
                platform::CloseChildProcess(brief);
                ++churned;
            }
        }
    };
    std::thread first(churn), second(churn);
    int listings = 0, steadySeen = 0;
    // Until enough processes came and went while the lists were taken, however slowly they start.
    const auto start = std::chrono::steady_clock::now();
    while ((churned <= 20 || listings < 20) && std::chrono::steady_clock::now() - start < std::chrono::seconds(120)) {
        const std::vector<platform::ProcessInfo> list = platform::ListProcesses();
        ++listings;
        const platform::ProcessInfo* found = Find(list, steady.id);
        if (found != nullptr && found->name == oddName && found->parentId == self) ++steadySeen;
        const platform::ProcessInfo* us = Find(list, self);
        EXPECT_NE(us, nullptr);
    }
    stop = true;
    first.join();
    second.join();
    EXPECT_GT(churned.load(), 20);
    EXPECT_EQ(steadySeen, listings);
    const std::vector<platform::ProcessInfo> named = platform::ListProcesses(oddName);
    ASSERT_NE(Find(named, steady.id), nullptr);
    for (const platform::ProcessInfo& process : named) EXPECT_EQ(process.name, oddName);
    platform::KillChildProcess(steady);
    platform::CloseChildProcess(steady);
}

TEST(ListProcessesTest, EndedButUnreapedProcessIsLeftOut) {
    platform::ChildProcess child;
    ASSERT_TRUE(platform::StartChildProcess({HelperProgram("fake_engine_program"), "exit", "0"}, child));
    char buffer[64];
    while (platform::WaitForChildOutput(child, 5000) && platform::ReadChildOutput(child, buffer, sizeof(buffer)) > 0) {
    }
    // Its output closed as it ended; it stays unreaped until we wait for it.
    bool listed = true;
    for (int waited = 0; waited < 30000 && listed; waited += 5) {
        listed = Find(platform::ListProcesses(), child.id) != nullptr;
        if (listed) platform::SleepMilliseconds(5);
    }
    EXPECT_FALSE(listed);
    EXPECT_TRUE(platform::WaitChildProcess(child, 1000));
    EXPECT_EQ(child.exitCode, 0);
    platform::CloseChildProcess(child);
}

}  // namespace
