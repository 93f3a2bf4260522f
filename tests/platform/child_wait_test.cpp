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
    auto start = Clock::now();
    EXPECT_TRUE(platform::WaitChildProcess(quick, 5000));
    // Woken by the end itself, not by the next look some milliseconds later.
    EXPECT_LT(SecondsSince(start), 0.5);
    EXPECT_EQ(quick.exitCode, 7);
    platform::CloseChildProcess(quick);

    platform::ChildProcess slow;
    ASSERT_TRUE(platform::StartChildProcess({HelperProgram("fake_engine_program"), "sleep", "5000"}, slow));
    start = Clock::now();
    EXPECT_FALSE(platform::WaitChildProcess(slow, 100));
    EXPECT_GE(SecondsSince(start), 0.09);
    platform::KillChildProcess(slow);
    EXPECT_EQ(slow.exitCode, -1);  // ended by us
    platform::CloseChildProcess(slow);
}

TEST(WaitWhileValueTest, ReturnsOnWakeOrAtTheLimit) {
    std::atomic<int> flag{1};
    auto start = Clock::now();
    platform::WaitWhileValue(flag, 1, 60);
    EXPECT_GE(SecondsSince(start), 0.05);

    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        flag = 0;
        platform::WakeValueWaiters(flag);
    });
    start = Clock::now();
    while (flag.load() == 1) platform::WaitWhileValue(flag, 1, 5000);
    EXPECT_LT(SecondsSince(start), 1.0);
    waker.join();
    // A value that already differs does not wait at all.
    start = Clock::now();
    platform::WaitWhileValue(flag, 1, 5000);
    EXPECT_LT(SecondsSince(start), 0.5);
}

}  // namespace
