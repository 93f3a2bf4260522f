// Interrupting a conversion: the real converter, mid-run, gets SIGINT, SIGTERM or SIGHUP and
// leaves no temporary output, no page folder and no engine behind, exiting with 128 + the
// signal; ended at once (SIGKILL, or TerminateProcess on Windows), which it cannot clean up
// after, at least its engine dies with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>
#include <thread>

#include "app/end_to_end_support.h"
#include "driver/renderer.h"
#include "platform/platform.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

#ifndef _WIN32
struct Signal {
    const char* name;
    int number;
};
void PrintTo(const Signal& signal, std::ostream* out) { *out << "SIG" << signal.name; }
#endif

// Pages of text and rectangles: at 300 dots per inch slow enough to be caught mid-run.
void WriteLongDocument(const std::string& path, int pages) {
    xpsfixture::XpsDocumentBuilder doc;
    for (int i = 0; i < pages; ++i) {
        const int page = doc.AddPage(816, 1056);
        doc.AddRect(page, 48 + 10 * (i % 20), 96, 480, 320, 0x2040C0u + static_cast<uint32_t>(i) * 0x030201u);
        doc.AddRect(page, 96, 560, 600, 400, 0xE0A020u ^ static_cast<uint32_t>(i) * 0x010305u);
        for (int line = 0; line < 8; ++line)
            doc.AddText(page, 64, 460 + 12 * line, 11, "Page " + std::to_string(i + 1) + ", line " + std::to_string(line));
    }
    ASSERT_TRUE(doc.WriteTo(path));
}

bool EngineAlive(int64_t id) {
    for (const platform::ProcessInfo& process : platform::ListProcesses(kRendererFileName))
        if (process.id == id) return true;
    return false;
}

class InterruptEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(tmp);
        fs::create_directories(out);
    }
    void TearDown() override {
#ifdef _WIN32
        if (runner.joinable()) {
            platform::TerminateProcessById(converter.id);
            runner.join();
        }
        converter.id = -1;
#endif
        platform::KillChildProcess(converter);
        platform::CloseChildProcess(converter);
        for (int64_t id : engines)
            if (EngineAlive(id)) platform::TerminateProcessById(id);
    }
#ifdef _WIN32
    // Starts the converter with the system temporary folder pointing at the test's own folder.
    // It reads its command line as typed, where a quoted "-i" would be no switch: the words are
    // written bare, as a user types them, and the run is watched by its process id.
    void StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment) {
        std::string text;
        for (const std::string& argument : arguments)
            text += (text.empty() ? "" : " ") +
                    (argument.find_first_of(" \t\"") == std::string::npos ? argument : ArgQuote(argument));
        runner = std::thread([this, program, text, environment] {
            run = RunConverterProgram(program, dir.str(), text, tmp, environment);
        });
        for (int waited = 0; waited < 60000 && converter.id <= 0; waited += 5) {
            for (const platform::ProcessInfo& process : platform::ListProcesses(ProgramFile("xpsconv")))
                if (process.parentId == platform::CurrentProcessId()) converter.id = process.id;
            platform::SleepMilliseconds(5);
        }
        ASSERT_GT(converter.id, 0) << "the converter was never seen running";
    }
    std::thread runner;
    ShellResult run;
#else
    // Starts the converter with TMPDIR pointing at the test's own folder.
    void StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                      std::vector<std::string> environment) {
        std::vector<std::string> line = {program};
        line.insert(line.end(), arguments.begin(), arguments.end());
        environment.push_back("TMPDIR=" + tmp);
        ASSERT_TRUE(platform::StartChildProcess(line, converter, environment));
    }
#endif
    void Start(const std::vector<std::string>& arguments) {
        StartProgram(InFolder(BuiltBinDir(), ProgramFile("xpsconv")), arguments, {});
    }
    // Records the converter's engines (its children of the engine's name) until ready() holds,
    // for up to a minute; false when it never did.
    bool WatchUntil(const std::function<bool()>& ready) {
        for (int waited = 0; waited < 60000; waited += 10) {
            for (const platform::ProcessInfo& process : platform::ListProcesses(kRendererFileName)) {
                if (process.parentId == converter.id &&
                    std::find(engines.begin(), engines.end(), process.id) == engines.end())
                    engines.push_back(process.id);
            }
            if (ready()) return true;
            platform::SleepMilliseconds(10);
        }
        return false;
    }
#ifndef _WIN32
    void Send(const char* signal) {
        ASSERT_GT(converter.id, 0) << "the conversion ended before the signal";
        RunShell(std::string("kill -s ") + signal + " " + std::to_string(converter.id));
    }
#endif
    void ExpectNoTemporaryOutput() {
        for (const std::string& name : ListNames(out)) {
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
            EXPECT_FALSE(name.size() > 5 && name.ends_with(".part")) << name;
        }
    }
    void ExpectNoPageFolder() {
        for (const auto& entry : fs::directory_iterator(tmp))
            EXPECT_NE(entry.path().filename().string().rfind("mtmp-", 0), 0u) << entry.path();
    }
    // Every engine the converter started has ended within limitMs.
    bool EnginesEndWithin(int limitMs) {
        for (int waited = 0; waited <= limitMs; waited += 20) {
            if (std::none_of(engines.begin(), engines.end(), EngineAlive)) return true;
            platform::SleepMilliseconds(20);
        }
        return false;
    }

    TempDir dir;
    const std::string tmp = dir / "tmp";
    const std::string out = dir / "out";
    platform::ChildProcess converter;
    std::vector<int64_t> engines;
};

#ifndef _WIN32
// POSIX signals; Windows has none of them to send to a console program.
class ImageInterrupt : public InterruptEndToEnd, public ::testing::WithParamInterface<Signal> {};

TEST_P(ImageInterrupt, PageImagesRunEndsCleanWithTheSignalsStatus) {
    WriteLongDocument(dir / "doc.xps", 30);
    Start({"-i", dir / "doc.xps", "-t", "png", "-mx", "300", "-my", "300", "-o", out});
    // Mid-run: the engine runs and the first of the 30 pages is on its way.
    ASSERT_TRUE(WatchUntil([&] { return !engines.empty() && !ListNames(out).empty(); }))
        << "no engine or no page seen";
    Send(GetParam().name);
    ASSERT_TRUE(platform::WaitChildProcess(converter, 60000));
    EXPECT_EQ(converter.exitCode, 128 + GetParam().number);
    EXPECT_FALSE(converter.signalled) << "ended by the signal itself, without its cleanup";
    EXPECT_TRUE(EnginesEndWithin(0)) << "an engine outlived the converter";
    ExpectNoTemporaryOutput();
    ExpectNoPageFolder();
    // Finished pages may stay, but the run was cut short.
    EXPECT_LT(ListNames(out).size(), 30u);
}

INSTANTIATE_TEST_SUITE_P(Signals, ImageInterrupt,
                         ::testing::Values(Signal{"INT", 2}, Signal{"TERM", 15}, Signal{"HUP", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// The real engine builds the whole document before it writes any of it, so its unfinished file
// lives for milliseconds only; the test engine keeps one, named the engine's way, for as long as
// the signal takes to come.
TEST_F(InterruptEndToEnd, PdfRunLeavesNoTemporaryOnTerm) {
    WriteLongDocument(dir / "doc.xps", 1);
    ProgramFolder bin;
    bin.AddTestEngine();
    bin.AddRealPostProcessor();
    bin.AddHelpFile();
    StartProgram(bin.Converter(), {"-i", dir / "doc.xps", "-t", "pdf", "-o", out},
                 {"XPSCONV_TEST_ENGINE=partial 60000"});
    const auto unfinished = [&] {
        const std::vector<std::string> names = ListNames(out);
        return std::any_of(names.begin(), names.end(), [](const std::string& name) { return name.ends_with(".part"); });
    };
    ASSERT_TRUE(WatchUntil([&] { return !engines.empty() && unfinished(); }))
        << "the engine or its partial file never showed up";
    const std::vector<std::string> before = ListNames(out);
    // The converter's reserved file, and the engine's partial one named after it.
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[1].rfind(before[0] + ".", 0), 0u) << before[0] << " " << before[1];
    Send("TERM");
    ASSERT_TRUE(platform::WaitChildProcess(converter, 60000));
    EXPECT_EQ(converter.exitCode, 128 + 15);
    EXPECT_FALSE(converter.signalled) << "ended by the signal itself, without its cleanup";
    EXPECT_TRUE(EnginesEndWithin(0)) << "the engine outlived the converter";
    EXPECT_EQ(ListNames(out), std::vector<std::string>{});
    ExpectNoPageFolder();
}
#endif

// The test engine writes nothing and sleeps ten minutes: only its converter's end can end it.
TEST_F(InterruptEndToEnd, EngineDiesWithAKilledConverter) {
    WriteLongDocument(dir / "doc.xps", 1);
    ProgramFolder bin;
    bin.AddTestEngine();
    bin.AddRealPostProcessor();
    bin.AddHelpFile();
    StartProgram(bin.Converter(), {"-i", dir / "doc.xps", "-t", "png", "-o", out},
                 {"XPSCONV_TEST_ENGINE=sleep 600000"});
    ASSERT_TRUE(WatchUntil([&] { return !engines.empty(); })) << "no engine seen running";
#ifdef _WIN32
    ASSERT_TRUE(platform::TerminateProcessById(converter.id));
    runner.join();
    // The code TerminateProcess gave it, not one of its own.
    EXPECT_EQ(run.exitCode, 128 + 9) << run.err;
#else
    Send("KILL");
    ASSERT_TRUE(platform::WaitChildProcess(converter, 60000));
    EXPECT_TRUE(converter.signalled);
#endif
    // Not only when it next writes to the pipe that nobody reads any more.
    EXPECT_TRUE(EnginesEndWithin(60000)) << "the engine outlived its killed converter by a minute";
}

}  // namespace
