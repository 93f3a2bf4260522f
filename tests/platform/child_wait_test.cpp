#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(WaitChildProcessTest, WakesWhenTheChildEndsAndGivesUpAtTheLimit) {
    platform::ChildProcess quick;
    ASSERT_TRUE(platform::StartChildProcess({HelperProgram("fake_engine_program"), "exit", "7", "50"}, quick));
    // Timed from the moment it runs: a start takes longer than its 50 ms under Wine.
    char buffer[16];
    ASSERT_TRUE(platform::WaitForChildOutput(quick, 10000));
    ASSERT_GT(platform::ReadChildOutput(quick, buffer, sizeof(buffer)), 0u);
    // Woken by the end itself, long before the limit.
    const auto start = Clock::now();
    EXPECT_TRUE(platform::WaitChildProcess(quick, 60000));
    EXPECT_LT(SecondsSince(start), 30.0);
    EXPECT_EQ(quick.exitCode, 7);
    platform::CloseChildProcess(quick);

    platform::ChildProcess slow;
    ASSERT_TRUE(platform::StartChildProcess({HelperProgram("fake_engine_program"), "sleep", "5000"}, slow));
    const auto slowStart = Clock::now();
    EXPECT_FALSE(platform::WaitChildProcess(slow, 100));
    EXPECT_GE(SecondsSince(slowStart), 0.09);
    platform::KillChildProcess(slow);
    EXPECT_EQ(slow.exitCode, -1);  // ended by us
    platform::CloseChildProcess(slow);
}

TEST(WaitWhileValueTest, ReturnsOnWakeOrAtTheLimit) {
    std::atomic<int> flag{1};
    auto start = Clock::now();
    platform::WaitWhileValue(flag, 1, 60);
    EXPECT_GE(SecondsSince(start), 0.05);

    // Woken in the wait itself, long before its limit.
    start = Clock::now();
    std::thread waiter([&] { platform::WaitWhileValue(flag, 1, 60000); });
    EXPECT_TRUE(ThreadBlocksOn(&flag, 30000));
    flag = 0;
    platform::WakeValueWaiters(flag);
    waiter.join();
    EXPECT_LT(SecondsSince(start), 30.0);
    // A value that already differs does not wait at all.
    start = Clock::now();
    platform::WaitWhileValue(flag, 1, 60000);
    EXPECT_LT(SecondsSince(start), 30.0);
}

}  // namespace
