// The page backlog: with XPSCONV_PAGE_BACKLOG=n the engine starts no page while n of its pages
// (announced and not yet said taken on its input, or being drawn) are waiting, says it is alive
// while it waits, goes on as pages are taken, and writes the same files as without the limit.
// It gives up waiting on a consumer that takes nothing, and ends when nobody reads its output.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/raster/page_backlog.h"
#include "engine_test_support.h"
#include "protocol/engine_protocol.h"

namespace fs = std::filesystem;

namespace {

using namespace enginetest;
using engine::PageBacklog;
using Clock = std::chrono::steady_clock;

constexpr int kPages = 6;

void WriteSixPageDocument(const std::string& path) {
    xpsfixture::XpsDocumentBuilder doc;
    for (int i = 0; i < kPages; ++i) {
        const int page = doc.AddPage(300 + 20 * i, 200);
        doc.AddRect(page, 10 + 5 * i, 10, 100, 60,
                    0x203040u * static_cast<uint32_t>(i + 1) & 0xFFFFFFu);
        doc.AddText(page, 10, 150, 18, "Page " + std::to_string(i + 1));
    }
    ASSERT_TRUE(doc.WriteTo(path));
}

std::vector<std::string> PageNames(int from, int to) {
    std::vector<std::string> names;
    for (int page = from; page <= to; ++page) {
        char name[32];
        std::snprintf(name, sizeof name, "p_%03d.bmp", page);
        names.push_back(name);
    }
    return names;
}

TEST(PageBacklogTest, WaitsWhileTheBacklogIsFullAndWritesTheSameFiles) {
    TempDir dir;
    const std::string document = dir / "doc.xps";
    WriteSixPageDocument(document);
    fs::create_directories(dir / "reference");
    const ShellResult reference =
        RunEngine({"-sDEVICE=bmp16m", "-r150x100", "-sOutputFile=" + (dir / "reference/p_%03d.bmp"),
                   document});
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    ASSERT_EQ(ListNames(dir / "reference"), PageNames(1, kPages));

    // One thread and several: both ways of handing out pages honour the backlog.
    for (int threads : {1, 3}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const std::string out = dir / ("out" + std::to_string(threads));
        const std::string taken = dir / ("taken" + std::to_string(threads));
        fs::create_directories(out);
        fs::create_directories(taken);
        const auto engineStart = Clock::now();
        BackgroundEngine engine(
            {"-sDEVICE=bmp16m", "-dNumRenderingThreads=" + std::to_string(threads), "-r150x100",
             "-sOutputFile=" + out + "/p_%03d.bmp", document},
            {"XPSCONV_PAGE_BACKLOG=2"});
        ASSERT_TRUE(engine.Started());

        // Nobody takes the pages: two are written and the engine waits, saying so about every
        // two seconds, without starting a third.
        ASSERT_TRUE(engine.WaitUntil(
            [&] { return engine.Output().find(protocol::PageDoneLine(2)) != std::string::npos; }, 60))
            << engine.Output();
        ASSERT_TRUE(engine.WaitUntil(
            [&] { return engine.Output().find("waiting") != std::string::npos; }, 60))
            << engine.Output();
        EXPECT_EQ(ListNames(out), PageNames(1, 2));
        EXPECT_EQ(engine.Output().find("page 3"), std::string::npos) << engine.Output();
        EXPECT_FALSE(engine.OutputEnded());

        // Taking the pages one at a time (moving the file away, then saying so) lets the engine
        // write one more each time; the folder never holds more than two files, finished or not.
        // A page is announced once its file is complete.
        size_t most = 0;
        for (int page = 1; page <= kPages; ++page) {
            const std::string name = PageNames(page, page)[0];
            ASSERT_TRUE(engine.WaitUntil(
                [&] {
                    most = std::max(most, ListNames(out).size());
                    return engine.Output().find(protocol::PageDoneLine(page)) != std::string::npos;
                },
                60))
                << "page " << page << "\n"
                << engine.Output();
            fs::rename(out + "/" + name, taken + "/" + name);
            // Once the last page is announced the engine may end before it hears of the rest.
            const bool told = engine.Tell(protocol::PageTakenLine(page));
            if (page + 2 <= kPages) {
                ASSERT_TRUE(told);
                ASSERT_TRUE(engine.WaitUntil(
                    [&] {
                        most = std::max(most, ListNames(out).size());
                        return engine.Output().find(protocol::PageDoneLine(page + 2)) != std::string::npos;
                    },
                    60));
                EXPECT_EQ(ListNames(out), PageNames(page + 1, page + 2));
            }
        }
        EXPECT_EQ(engine.Finish(60), 0) << engine.Output();
        // Said while it waits, never oftener than the interval: a load that slows the test only
        // makes the bound looser.
        const std::string said = engine.Output();
        size_t waits = 0;
        for (size_t at = said.find("waiting"); at != std::string::npos; at = said.find("waiting", at + 1)) ++waits;
        EXPECT_LE(waits, 1 + static_cast<size_t>((Clock::now() - engineStart) / PageBacklog::kKeepAliveInterval))
            << said;
        EXPECT_LE(most, 2u);
        EXPECT_TRUE(ListNames(out).empty());
        ASSERT_EQ(ListNames(taken), PageNames(1, kPages));
        for (const std::string& name : PageNames(1, kPages)) {
            EXPECT_EQ(ReadFileBytes(taken + "/" + name), ReadFileBytes(dir / ("reference/" + name)))
                << name;
        }
    }
}

TEST(PageBacklogTest, GoesOnWhenNothingIsTakenForTooLong) {
    TempDir dir;
    const std::string document = dir / "doc.xps";
    WriteSixPageDocument(document);
    for (int threads : {1, 2}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const std::string out = dir / ("out" + std::to_string(threads));
        fs::create_directories(out);
        const ShellResult run = RunEngineWith(
            {"XPSCONV_PAGE_BACKLOG=1", "XPSCONV_PAGE_BACKLOG_PATIENCE_MS=300"},
            {"-sDEVICE=bmp16m", "-dNumRenderingThreads=" + std::to_string(threads),
             "-sOutputFile=" + out + "/p_%03d.bmp", document},
            60);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        // One wait of the patience, then no more while nothing is taken: a second wait would
        // have been said again.
        EXPECT_EQ(ListNames(out), PageNames(1, kPages));
        EXPECT_NE(run.err.find("going on without waiting"), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

TEST(PageBacklogTest, EndsWhenNobodyReadsItsOutput) {
    TempDir dir;
    const std::string document = dir / "doc.xps";
    WriteSixPageDocument(document);
#ifndef _WIN32
    // The reader goes after the first byte. Whether the broken pipe is a signal that ends the
    // engine (141) or an error it sees (SIGPIPE ignored, as a parent may leave it), it stops.
    for (const auto& [trap, expected] :
         {std::pair<const char*, int>{"", 141}, {"trap '' PIPE;", 1}}) {
        SCOPED_TRACE(trap);
        const std::string out = dir / (std::string("out") + std::to_string(expected));
        fs::create_directories(out);
        // Appended piece by piece: "literal" + std::string&& trips a false GCC 12 -Wrestrict.
        std::string command = "(";
        command += trap;
        const ShellResult run =
            RunShell(command + " XPSCONV_PAGE_BACKLOG=1 timeout -k 5 60 " +
                     ShellQuote(EnginePath()) + " -sDEVICE=bmp16m -sOutputFile=" +
                     ShellQuote(out + "/p_%03d.bmp") + " " + ShellQuote(document) + "; echo $? >" +
                     ShellQuote(dir / "status") + ") | head -c 1 >/dev/null");
        EXPECT_EQ(run.exitCode, 0);
        // An engine that went on waiting would have been ended by the timeout (124 or 137).
        EXPECT_EQ(ReadFile(dir / "status"), std::to_string(expected) + "\n") << run.err;
        EXPECT_EQ(ListNames(out), PageNames(1, 1));
    }
#else
    // Windows has no broken-pipe signal: the engine's next write fails, and it stops with 1.
    const std::string out = dir / "out";
    fs::create_directories(out);
    BackgroundEngine engine({"-sDEVICE=bmp16m", "-sOutputFile=" + out + "/p_%03d.bmp", document},
                            {"XPSCONV_PAGE_BACKLOG=1"});
    ASSERT_TRUE(engine.Started());
    ASSERT_TRUE(engine.WaitUntil([&] { return !engine.Output().empty(); }, 60));
    engine.CloseOutput();  // the reader goes after what it has read
    EXPECT_EQ(engine.Exit(60), 1);
    EXPECT_EQ(ListNames(out), PageNames(1, 1));
#endif
}

}  // namespace
