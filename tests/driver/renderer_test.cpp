#include "driver/renderer.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/platform.h"
#include "protocol/engine_protocol.h"
#include "support/test_support.h"

namespace {

std::string FakeEngine() { return HelperProgram("fake_engine_program"); }

RendererOptions WithIdleLimit(int milliseconds) {
    RendererOptions options;
    options.idleLimitMs = milliseconds;
    return options;
}

double SecondsFor(const std::string& commandLine, int& result) {
    const auto start = std::chrono::steady_clock::now();
    result = RunRenderer(commandLine);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(RunRendererTest, DrainsALargeOutputWithoutStalling) {
    int result = 0;
    const double seconds = SecondsFor(platform::QuoteArgument(FakeEngine()) + " flood 800000", result);
    EXPECT_EQ(result, 1);
    EXPECT_LT(seconds, 3.0);
    // Read for announcements, one endless line is none.
    int pages = 0;
    RendererOptions counting;
    counting.pageDone = [&](int) { ++pages; };
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " flood 800000", nullptr, nullptr, counting), 1);
    EXPECT_EQ(pages, 0);
}

// The engine announces a page, and the next only once told the last one was taken: pages come
// in order through its output and the word that they were taken reaches its input.
TEST(RunRendererTest, PagesAreAnnouncedAndTakenOverThePipes) {
    EngineInput input;
    std::vector<int> pages;
    RendererOptions options;
    options.input = &input;
    options.pageDone = [&](int page) {
        pages.push_back(page);
        EXPECT_TRUE(input.Say(protocol::PageTakenLine(page)));
    };
    bool succeeded = false;
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " converse 5", &succeeded, nullptr, options), 1);
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(pages, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_FALSE(input.Say(protocol::PageTakenLine(6)));  // the engine is gone
}

TEST(RunRendererTest, NonZeroExitStillCountsAsStarted) {
    int result = 0;
    SecondsFor(platform::QuoteArgument(FakeEngine()) + " exit 3", result);
    EXPECT_EQ(result, 1);
}

TEST(RunRendererTest, EngineThatLingersIsEndedAfterAboutASecond) {
    int result = 0;
    const double seconds = SecondsFor(platform::QuoteArgument(FakeEngine()) + " linger 20000", result);
    EXPECT_EQ(result, 1);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.0);
}

TEST(RunRendererTest, SilentEngineIsEndedAfterTheIdleLimit) {
    const auto start = std::chrono::steady_clock::now();
    bool succeeded = true;
    const int result =
        RunRenderer(platform::QuoteArgument(FakeEngine()) + " sleep 20000", &succeeded, nullptr, WithIdleLimit(300));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(succeeded);
    EXPECT_LT(seconds, 2.0);
    // Progress keeps an engine alive however long it takes in all: eight ticks, each a third of
    // the limit apart. The limit also covers the start, which on Windows can take longer than a
    // few such ticks.
#ifdef _WIN32
    const int tickLimitMs = 1500;
#else
    const int tickLimitMs = 300;
#endif
    succeeded = false;
    const std::string ticks = " tick 8 " + std::to_string(tickLimitMs / 3);
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + ticks, &succeeded, nullptr, WithIdleLimit(tickLimitMs)),
              1);
    EXPECT_TRUE(succeeded);
}

TEST(RunRendererTest, MissingExecutableGivesMinusTwo) {
    int result = 0;
    const double seconds = SecondsFor(NativeSeparators("/nonexistent/engine") + " -dNOPAUSE", result);
    EXPECT_EQ(result, -2);
    EXPECT_LT(seconds, 0.5);
    EXPECT_EQ(RunRenderer(""), -2);
    // A file that is there but is no program: the start itself fails, not the engine later.
    TempDir dir;
    WriteFile(dir / "proc.dll", "MZ not a program here\n");
#ifndef _WIN32
    RunShell("chmod +x " + ShellQuote(dir / "proc.dll"));  // Windows has no execute bit to set
#endif
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(dir / "proc.dll") + " -dNOPAUSE"), -2);
}

TEST(RunRendererTest, CrashedEngineCountsAsStartedButNotSucceeded) {
    bool succeeded = true;
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " crash", &succeeded), 1);
    EXPECT_FALSE(succeeded);
}

TEST(RunRendererTest, ArgumentsArriveUnchanged) {
    TempDir dir;
    const std::string record = dir / "args.txt";
    const std::vector<std::string> texts = {"plain", "with blank", "quote\"inside", "back\\slash\\",
                                            "(paren) \\\"mix\\\\\"", "-sOutputFile=x y"};
    std::string line = platform::QuoteArgument(FakeEngine()) + " args " + platform::QuoteArgument(record);
    for (const std::string& text : texts) {
        line += ' ';
        line += platform::QuoteArgument(text);
    }
    int result = 0;
    SecondsFor(line, result);
    ASSERT_EQ(result, 1);
    // The helper writes a text file: on Windows its lines end in CR LF.
#ifdef _WIN32
    const std::string lineEnd = "\r\n";
#else
    const std::string lineEnd = "\n";
#endif
    std::string expected;
    for (const std::string& text : texts) expected += text + lineEnd;
    EXPECT_EQ(ReadFile(record), expected);
}

}  // namespace
