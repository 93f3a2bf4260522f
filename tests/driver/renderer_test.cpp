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

// An engine that outlives the run is one the runner ended: it would have exited 0 by itself.
constexpr int kEndedByTheRunner = -1;

TEST(RunRendererTest, DrainsALargeOutputWithoutStalling) {
    // Undrained, the engine would block on the full pipe until the idle limit ended it.
    int exitCode = kEndedByTheRunner;
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " flood 800000", nullptr, &exitCode), 1);
    EXPECT_EQ(exitCode, 0);
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
    int exitCode = 0;
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " exit 3", nullptr, &exitCode), 1);
    EXPECT_EQ(exitCode, 3);
}

// The engine closes its output and would stay for 20 s: the runner waits its second (a lower
// bound holds under any load) and then ends it.
TEST(RunRendererTest, EngineThatLingersIsEndedAfterASecond) {
    const auto start = std::chrono::steady_clock::now();
    int exitCode = 0;
    EngineEnd end;
    end.cause = EngineEnd::Cause::kCrash;
    RendererOptions options;
    options.end = &end;
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " linger 20000", nullptr, &exitCode, options), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kRendererLingerMs));
    EXPECT_EQ(exitCode, kEndedByTheRunner);
    EXPECT_EQ(end.cause, EngineEnd::Cause::kOwnEnd) << "its work was done: no cause to name";
}

TEST(RunRendererTest, SilentEngineIsEndedAfterTheIdleLimit) {
    int exitCode = 0;
    EngineEnd end;
    RendererOptions limited = WithIdleLimit(300);
    limited.end = &end;
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " sleep 20000", nullptr, &exitCode, limited), 1);
    EXPECT_EQ(exitCode, kEndedByTheRunner);
    EXPECT_EQ(end.cause, EngineEnd::Cause::kTimeLimit);
    // Progress keeps an engine alive however long it takes in all: six ticks half a second
    // apart outlast the limit twice over, each leaving a late start or a slow tick a second.
    bool succeeded = false;
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " tick 6 500", &succeeded, nullptr, WithIdleLimit(1500)),
              1);
    EXPECT_TRUE(succeeded);
}

TEST(RunRendererTest, MissingExecutableGivesMinusTwo) {
    EXPECT_EQ(RunRenderer(NativeSeparators("/nonexistent/engine") + " -dNOPAUSE"), -2);
    EXPECT_EQ(RunRenderer(""), -2);
    // A file that is there but is no program: the start itself fails, not the engine later.
    TempDir dir;
    WriteFile(dir / "proc.dll", "MZ not a program here\n");
#ifndef _WIN32
    RunShell("chmod +x " + ShellQuote(dir / "proc.dll"));  // Windows has no execute bit to set
#endif
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(dir / "proc.dll") + " -dNOPAUSE"), -2);
}

// A crash is named in the system's terms, for the document's message.
TEST(RunRendererTest, CrashedEngineCountsAsStartedButNotSucceeded) {
    bool succeeded = true;
    EngineEnd end;
    RendererOptions options;
    options.end = &end;
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " segv", &succeeded, nullptr, options), 1);
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(end.cause, EngineEnd::Cause::kCrash);
#ifdef _WIN32
    EXPECT_EQ(end.crash, "exception 0xC0000005");
#else
    EXPECT_EQ(end.crash, "signal 11");
#endif
    EXPECT_EQ(EngineEndMessage(end, "d.xps", "no PDF was written"),
              "the rendering engine crashed (" + end.crash + ") on d.xps; no PDF was written");
    EXPECT_EQ(RunRenderer(platform::QuoteArgument(FakeEngine()) + " exit 1", &succeeded, nullptr, options), 1);
    EXPECT_EQ(end.cause, EngineEnd::Cause::kOwnEnd);
    EXPECT_EQ(EngineEndMessage(end, "d.xps", "no PDF was written"), "d.xps: no PDF was written");
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
    ASSERT_EQ(RunRenderer(line), 1);
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
