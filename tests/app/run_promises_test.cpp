// What a run promises at its edges, tried as an unlucky or hostile user would: options are
// never lost or forged, protection is never dropped, an older file is never changed by a failed
// run, and every failure is reported with its reason and counted in the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "app/end_to_end_support.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

class RunPromises : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TOOLS("pdfinfo", "qpdf", "pdftotext");
        fs::create_directories(tmp);
        WriteTwoPageDocument(dir / "report.xps");
    }
    ShellResult Run(const std::string& arguments) { return RunConverter(dir.str(), arguments, tmp); }
    std::string Text(const std::string& pdf, const std::string& password = "") {
        const std::string pw = password.empty() ? "" : " -upw " + ShellQuote(password);
        return RunShell("pdftotext" + pw + " " + ShellQuote(pdf) + " -").out;
    }
    std::string Info(const std::string& pdf) { return RunShell("pdfinfo " + ShellQuote(pdf)).out; }
    TempDir dir;
    std::string tmp = dir / "tmp";
};

size_t Count(const std::string& text, const std::string& word) {
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + word.size())) ++count;
    return count;
}

TEST_F(RunPromises, OverCapacityRefusesTheWholeRunInsteadOfDroppingOptions) {
    // Four long information texts before the password: cut, the line would lose the password
    // and give an unencrypted PDF.
    const std::string text(250, 'x');
    ShellResult result = Run("-i report.xps -t pdf -pt " + text + " -pk " + text + " -ps " + text + " -pa " + text +
                             " -pu secret -pe 16");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("longer than 1023 characters"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("name a folder with -i"), std::string::npos) << result.err;
    // Forty inputs before the type and folder: nothing may be converted to JPEG beside them.
    std::string inputs;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "document-with-a-long-name-" + std::to_string(i) + ".xps";
        fs::copy_file(dir / "report.xps", dir / name);
        inputs += " -i " + name;
    }
    result = Run(inputs.substr(1) + " -t pdf -o out");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_FALSE(fs::exists(dir / "out"));
    for (const std::string& name : ListNames(dir.str())) EXPECT_EQ(fs::path(name).extension(), ".xps") << name;
}

#ifndef _WIN32
// The argument vector's own quotes and blanks, held through the rebuilt command-line text. On
// Windows the command line is read as typed, and the grammar has no way to carry a quote.
TEST_F(RunPromises, QuotesInValuesNeverBecomeOptions) {
    ShellResult result = Run("-i report.xps -t pdf -o out -pt 'Q3 \"final\" -o \"" + (dir / "elsewhere") + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
    EXPECT_NE(Info(dir / "out/report.pdf").find("Title:           Q3 \"final\" -o \"" + (dir / "elsewhere")),
              std::string::npos)
        << Info(dir / "out/report.pdf");

    result = Run("-i report.xps -t pdf -o out -pt 'Q3 report\" -pu \"secret'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(RunShell("qpdf --is-encrypted " + ShellQuote(dir / "out/report.pdf")).exitCode, 2);

    result = Run("-i report.xps -t pdf -o out -pu 'my \"secret\" pass'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string pdf = dir / "out/report.pdf";
    EXPECT_EQ(RunShell("qpdf --requires-password --password='my \"secret\" pass' " + ShellQuote(pdf)).exitCode, 3)
        << "the whole password opens the file";
    EXPECT_NE(RunShell("qpdf --check --password='my ' " + ShellQuote(pdf)).exitCode, 0);
}
#endif

TEST_F(RunPromises, EveryEncryptedFileGetsAnOwnerPasswordOfItsOwn) {
    fs::copy_file(dir / "report.xps", dir / "other.xps");
    const ShellResult result = Run("-i report.xps -i other.xps -t pdf -o out -pu secret -pe 16");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const char* name : {"report.pdf", "other.pdf"}) {
        const std::string pdf = dir / ("out/" + std::string(name));
        // The old built-in owner password opens nothing.
        EXPECT_NE(RunShell("qpdf --show-encryption --password=tirvane " + ShellQuote(pdf)).out.find("Incorrect password"),
                  std::string::npos)
            << name;
        const ShellResult shown = RunShell("qpdf --show-encryption --password=secret " + ShellQuote(pdf));
        EXPECT_NE(shown.out.find("extract for any purpose: not allowed"), std::string::npos) << shown.out;
    }
    // Two files of one run differ in their owner entry, so one file's owner key opens no other.
    const auto ownerEntry = [&](const char* name) {
        return RunShell("grep -a -o '/O *<[0-9a-fA-F]*' " + ShellQuote(dir / ("out/" + std::string(name)))).out;
    };
    const std::string first = ownerEntry("report.pdf");
    const std::string second = ownerEntry("other.pdf");
    EXPECT_NE(first, "");
    EXPECT_NE(first, second);
}

TEST_F(RunPromises, AFailedOverlayRunLeavesTheOlderFileByteForByte) {
    ShellResult result = Run("-i report.xps -t pdf -wt FIRST");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string before = ReadFile(dir / "report.pdf");
    WriteFile(dir / "report.xps", "PK\x03\x04 not really a package");
    result = Run("-i report.xps -t pdf -wt SECOND");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("report.xps"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("some pages could not be rendered completely"), std::string::npos) << result.err;
    EXPECT_EQ(ReadFile(dir / "report.pdf"), before);
    EXPECT_EQ(ListNames(dir.str()), (std::vector<std::string>{"report.pdf", "report.xps"}));
}

// A read-only output is one its owner keeps: its document is not converted (a page file is
// refused alone), and the file keeps its bytes and its mode.
TEST_F(RunPromises, AReadOnlyOutputIsNeverReplaced) {
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    for (const char* kept : {"report.pdf", "report.tif", "report_002.png"}) {
        WriteFile(dir / kept, "kept");
        fs::permissions(dir / kept, readOnly);
    }
    for (const char* type : {"pdf", "tif -mm", "png"}) {
        const ShellResult result = Run("-i report.xps -t " + std::string(type));
        EXPECT_EQ(result.exitCode, 1) << type;
        const std::string kept = std::string(type) == "png" ? "report_002.png" : "report." + std::string(type, 3);
        const std::string said = std::string(type) == "png" ? ": page 2: " : ": not converted: ";
        EXPECT_NE(result.err.find(Native(dir / "report.xps") + said + Native(dir / kept) + " is read-only"),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(ReadFile(dir / kept), "kept");
        EXPECT_EQ(fs::status(dir / kept).permissions() & fs::perms::all, readOnly) << type;
    }
    EXPECT_EQ(ListNames(dir.str()),
              (std::vector<std::string>{"report.pdf", "report.tif", "report.xps", "report_001.png", "report_002.png"}));
    for (const char* kept : {"report.pdf", "report.tif", "report_002.png"})
        fs::permissions(dir / kept, fs::perms::owner_write, fs::perm_options::add);  // for the clean-up
}

TEST_F(RunPromises, RunsAtOnceStampEachFileOnce) {
    for (const char* name : {"a.xps", "b.xps", "c.xps"}) fs::copy_file(dir / "report.xps", dir / name);
    std::vector<std::thread> runs;
    std::vector<ShellResult> results(4);
    for (size_t i = 0; i < results.size(); ++i) {
        runs.emplace_back([&, i] { results[i] = Run("-i a.xps -i b.xps -i c.xps -t pdf -o out -wt STAMPED"); });
    }
    for (std::thread& run : runs) run.join();
    for (const ShellResult& result : results) EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const char* name : {"a.pdf", "b.pdf", "c.pdf"}) {
        EXPECT_EQ(Count(Text(dir / ("out/" + std::string(name))), "STAMPED"), 2u) << name << ": once per page";
    }
    EXPECT_EQ(ListNames(dir / "out"), (std::vector<std::string>{"a.pdf", "b.pdf", "c.pdf"}));
}

TEST_F(RunPromises, DocumentsOfTheSameNameDoNotOverwriteEachOther) {
    fs::create_directories(dir.path() / "a");
    fs::create_directories(dir.path() / "b");
    fs::copy_file(dir / "report.xps", dir / "a/report.xps");
    xpsfixture::XpsDocumentBuilder other;
    other.AddPage(400, 300);
    other.AddText(0, 20, 100, 24, "From folder b");
    ASSERT_TRUE(other.WriteTo(dir / "b/report.xps"));
    ShellResult result = Run("-i a/report.xps -i b/report.xps -t pdf -o out");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(Native(dir / "b/report.xps")), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(Native(dir / "a/report.xps")), std::string::npos) << result.err;
    EXPECT_NE(Text(dir / "out/report.pdf").find(kText), std::string::npos);

    // Page images would mix the pages of the two.
    result = Run("-i a/report.xps -i b/report.xps -t png -o pages");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ListNames(dir / "pages"), (std::vector<std::string>{"report_001.png", "report_002.png"}));
    DecodedImage second;
    ASSERT_TRUE(DecodeImage(dir / "pages/report_002.png", second));
    EXPECT_EQ(second.width, 1056 * 72 / 96) << "page 2 is a's landscape page";

    // An OpenXPS document beside an XPS one of the same base name: the same clash.
    fs::copy_file(dir / "report.xps", dir / "report.oxps");
    result = Run("-i report.xps -i report.oxps -t pdf");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("report.oxps: not converted"), std::string::npos) << result.err;
}

TEST_F(RunPromises, InputsThatYieldNothingAreNamedAndCounted) {
    fs::create_directories(dir.path() / "empty");
    fs::create_directories(dir.path() / "withpipe");
    fs::copy_file(dir / "report.xps", dir / "withpipe/good.xps");
    // A folder named like a document is none.
    fs::create_directories(dir.path() / "withpipe/folder.xps");
#ifndef _WIN32
    // Windows has no pipes among the files of a folder.
    ASSERT_EQ(RunShell("mkfifo " + ShellQuote(dir / "withpipe/blocked.xps")).exitCode, 0);
#endif
    const auto start = std::chrono::steady_clock::now();
    const ShellResult result = Run("-i empty -i withpipe -t pdf -o out");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << "a pipe never holds the run";
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("empty: the folder holds no XPS document"), std::string::npos) << result.err;
    EXPECT_EQ(ListNames(dir / "out"), (std::vector<std::string>{"good.pdf"}));
}

TEST_F(RunPromises, OpenXpsDocumentsAreTakenLikeXps) {
    fs::create_directories(dir.path() / "open");
    xpsfixture::XpsDocumentBuilder open;
    open.UseOpenXps(true);
    open.AddPage(400, 300);
    open.AddText(0, 20, 100, 24, "Written as OpenXPS");
    ASSERT_TRUE(open.WriteTo(dir / "open/first.oxps"));
    ASSERT_TRUE(open.WriteTo(dir / "second.OXPS"));
    const ShellResult result = Run("-i open -i second.OXPS -t pdf -o out");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ListNames(dir / "out"), (std::vector<std::string>{"first.pdf", "second.pdf"}));
    EXPECT_NE(Text(dir / "out/first.pdf").find("Written as OpenXPS"), std::string::npos);
}

// A page the rendering library would never finish, or one that runs out of memory, costs its
// document alone; the first is refused before it is drawn, not ended by the silence limit.
TEST_F(RunPromises, ALoopingOrHugePageFailsItsDocumentAndTheBatchGoesOn) {
    xpsfixture::XpsDocumentBuilder looping;
    looping.AddPage(400, 300);
    looping.AddPathData(0, "M 0,0 l 1", 0xFF0000);  // the rendering library never finishes this
    ASSERT_TRUE(looping.WriteTo(dir / "a-loops.xps"));
    xpsfixture::XpsDocumentBuilder huge;
    const int page = huge.AddPage(400, 300);
    huge.AddRect(page, 0, 0, 100, 100, 0x00FF00);
    huge.AddImageDeclaring(page, 100, 100, 200, 100, xpsfixture::ImageFormat::Png, 20000, 20000);
    ASSERT_TRUE(huge.WriteTo(dir / "b-huge.xps"));
    for (const char* type : {"pdf", "png"}) {
        const ShellResult result =
            RunConverter(dir.str(), "-i a-loops.xps -i b-huge.xps -i report.xps -o " + std::string(type) + " -t " + type,
                         tmp, {"XPSCONV_PAGE_TIMEOUT=2", "XPSCONV_ENGINE_MEMORY=256"}, 100);
        EXPECT_EQ(result.exitCode, 1) << type;
        EXPECT_NE(result.err.find("a-loops.xps: page 1: a Path element's Data=\"M 0,0 l 1\" is geometry the renderer "
                                  "never finishes"),
                  std::string::npos)
            << result.err;
        // Documents converted at once share the budget: each engine has its part of it.
        EXPECT_NE(result.err.find("b-huge.xps: page 1: out of memory: the engine's budget of "), std::string::npos)
            << result.err;
        // Refused at once, not ended by the silence limit; the budget's end is named.
        EXPECT_EQ(result.err.find("page time limit"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("xpsconv: the rendering engine ran out of its memory budget on " +
                                  Native(dir / "b-huge.xps") + "; "),
                  std::string::npos)
            << result.err;
        const std::vector<std::string> names = ListNames(dir / type);
        const std::string converted = std::string(type) == "pdf" ? "report.pdf" : "report_002.png";
        EXPECT_NE(std::find(names.begin(), names.end(), converted), names.end()) << type;
        // The failed page is still there, blank beyond what was drawn, so the numbering holds.
        const std::string kept = std::string(type) == "pdf" ? "b-huge.pdf" : "b-huge_001.png";
        EXPECT_NE(std::find(names.begin(), names.end(), kept), names.end()) << type;
    }
    EXPECT_EQ(LeftInTemporaryFolder(tmp), std::vector<std::string>{}) << "no page folder stays behind";
}

TEST_F(RunPromises, OverlayTextTypedInTheSystemsEncodingIsStampedAsTyped) {
    // UTF-8 on every system (the Windows programs, these tests too, ask for the UTF-8 code
    // page), converted for the overlay font.
    const std::string typed = "Größe – 5 €";
    const std::string title = "Größe 漢";
    ShellResult result = Run("-i report.xps -t pdf -wt " + ArgQuote(typed));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Count(Text(dir / "report.pdf"), "Größe – 5 €"), 2u) << Text(dir / "report.pdf");
    // A character the overlay font lacks becomes ? and is told.
    result = Run("-i report.xps -t pdf -wt " + ArgQuote("Preis 漢"));
    ASSERT_EQ(result.exitCode, 3) << result.err;
    EXPECT_NE(result.err.find("-wt \"Preis 漢\": characters the overlay font cannot show became ?"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(Count(Text(dir / "report.pdf"), "Preis ?"), 2u);
    // Document information keeps its characters as they are.
    result = Run("-i report.xps -t pdf -pt " + ArgQuote(title));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(Info(dir / "report.pdf").find("Title:           " + title + "\n"), std::string::npos)
        << Info(dir / "report.pdf");
}

// Repairs change no output, but the run says it was not the one asked for.
TEST_F(RunPromises, RepairsAreToldAndEndWithStatusThree) {
    ShellResult result = Run("-i report.xps -tt x -mq abc -t pdf");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err,
              "xpsconv: unknown option -tt ignored\nxpsconv: stray word x ignored\n"
              "xpsconv: -mq abc is not a number, 1 used\n");
    EXPECT_TRUE(fs::exists(dir / "report.pdf"));
    result = Run("--version");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.rfind("xpsconv ", 0), 0u) << result.out;
    EXPECT_EQ(Count(result.out, "\n"), 1u);
}

// A page the engine never finishes holds the batch only for the silence limit.
TEST_F(RunPromises, ASilentEngineIsEndedAfterThePageTimeout) {
    ProgramFolder bin;
    bin.AddTestEngine();
    bin.AddRealPostProcessor();
    bin.AddHelpFile();
    fs::copy_file(dir / "report.xps", dir / "second.xps");
    for (const char* type : {"pdf", "png"}) {
        // Each engine alone would sleep for a minute: the run's own limit of 50 s (exit 124)
        // proves that they were ended. Whether an engine got to say what it does before it was
        // ended depends on how fast it started, so that is not counted.
        const ShellResult result = bin.Run(dir.str(), "-i report.xps -i second.xps -t " + std::string(type), tmp,
                                           {"XPSCONV_TEST_ENGINE=sleep 60000", "XPSCONV_PAGE_TIMEOUT=1"}, 50);
        EXPECT_EQ(result.exitCode, 1) << type;
        EXPECT_EQ(Count(result.err, "made no progress for 1 s and was ended"), 2u) << result.err;
        EXPECT_EQ(Count(result.err, "xpsconv: the rendering engine was ended by the page time limit on "), 2u)
            << result.err;
        EXPECT_EQ(ListNames(dir.str()), (std::vector<std::string>{"report.xps", "second.xps"})) << type;
    }
    EXPECT_EQ(LeftInTemporaryFolder(tmp), std::vector<std::string>{});
}

// An engine that crashes, or fails without a word, costs its document alone: nothing is left of
// it, the batch goes on, and no crash report holds the run.
TEST_F(RunPromises, ACrashingOrFailingEngineFailsEachDocumentAndLeavesNothing) {
    ProgramFolder bin;
    bin.AddTestEngine();
    bin.AddRealPostProcessor();
    bin.AddHelpFile();
    fs::copy_file(dir / "report.xps", dir / "second.xps");
    // How the system names each end; abort() on Windows is an exit with code 3, no exception.
#ifdef _WIN32
    const std::map<std::string, std::string> crash = {{"segv", "exception 0xC0000005"}};
#else
    const std::map<std::string, std::string> crash = {{"crash", "signal 6"}, {"segv", "signal 11"}};
#endif
    for (const char* engine : {"crash", "segv", "exit 3"}) {
        for (const char* type : {"pdf", "png", "tif -mm"}) {
            const std::string label = std::string(engine) + ", " + type;
            const auto start = std::chrono::steady_clock::now();
            const ShellResult result = bin.Run(dir.str(), "-i report.xps -i second.xps -o out -t " + std::string(type),
                                               tmp, {"XPSCONV_TEST_ENGINE=" + std::string(engine)}, 100);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << label;
            EXPECT_EQ(result.exitCode, 1) << label << ": " << result.err;
            EXPECT_EQ(Count(result.err, "app_engine_program: " + std::string(engine) + "\n"), 2u) << result.err;
            // A fault is named as the system tells it.
            const auto named = crash.find(engine);
            const std::string cause =
                named != crash.end() ? "the rendering engine crashed (" + named->second + ") on " : "";
            for (const char* name : {"report.xps", "second.xps"})
                EXPECT_NE(result.err.find("xpsconv: " + cause + Native(dir / name) + (cause.empty() ? ": " : "; ")),
                          std::string::npos)
                    << label << ": " << result.err;
            EXPECT_EQ(ListNames(dir / "out"), std::vector<std::string>{}) << label;
            EXPECT_EQ(ListNames(dir.str()), (std::vector<std::string>{"report.xps", "second.xps"})) << label;
        }
    }
    EXPECT_EQ(LeftInTemporaryFolder(tmp), std::vector<std::string>{});
}

}  // namespace
