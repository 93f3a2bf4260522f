// The program's start-up checks, help and exit status, run as a real process from a folder
// that holds only what each case needs beside it.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/end_to_end_support.h"
#include "app/long_options.h"
#include "platform/platform.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

class Startup : public ::testing::Test {
protected:
    void AddEverything() {
        bin.AddEngineStandIn();
        bin.AddPostProcessor("stand_in_postproc_library");
        bin.AddHelpFile();
    }
    ShellResult Run(const std::string& arguments) { return bin.Run(work.str(), arguments); }
    ProgramFolder bin;
    TempDir work;
};

TEST_F(Startup, MissingEngineIsTheOnlyMessage) {
    const ShellResult result = Run("");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Error: Load proc.dll failed, please reinstall!\n");
    EXPECT_EQ(result.out, "");
    // Whatever else is there, and whatever is asked.
    bin.AddPostProcessor("stand_in_postproc_library");
    bin.AddHelpFile();
    WriteFile(work / "doc.xps", "x");
    const ShellResult asked = Run("-i doc.xps -t pdf -o out");
    EXPECT_EQ(asked.exitCode, 2);
    EXPECT_EQ(asked.err, "Error: Load proc.dll failed, please reinstall!\n");
    EXPECT_FALSE(fs::exists(work.path() / "out"));
}

TEST_F(Startup, MissingIncompleteOrOtherVersionPostProcessor) {
    bin.AddEngineStandIn();
    bin.AddHelpFile();
    ShellResult result = Run("-t bmp");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Quorbex Tavrin Command Line: Load mstar.dll failed, please reinstall!\n");
    bin.AddPostProcessor("version_only_postproc_library");
    result = Run("");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Quorbex Tavrin Command Line: Load mstar.dll failed, please reinstall!\n");
    EXPECT_EQ(result.out, "");
    // Every entry there, but of another interface version.
    bin.AddPostProcessor("other_version_postproc_library");
    result = Run("-t bmp");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Quorbex Tavrin Command Line: Load mstar.dll failed, please reinstall!\n");
    // A file of that name that is no library at all.
    WriteFile(bin / "mstar.dll", "not a library");
    result = Run("-t bmp");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Quorbex Tavrin Command Line: Load mstar.dll failed, please reinstall!\n");
}

// The library's reason for a failed post-processing reaches the user; the engine's file goes.
TEST_F(Startup, PostProcessorFailureIsShownWithItsReason) {
    bin.AddRealEngine();
    bin.AddPostProcessor("stand_in_postproc_library");
    WriteTwoPageDocument(work / "doc.xps");
    ShellResult result = Run("-i doc.xps -t pdf -wt CONFIDENTIAL -o out");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.ends_with(
        "doc.xps: the text overlay could not be added: the stand-in takes no overlay; no PDF was written\n"))
        << result.err;
    EXPECT_TRUE(ListNames(work / "out").empty());
    result = Run("-i doc.xps -t pdf -o out");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ListNames(work / "out"), std::vector<std::string>{"doc.pdf"});
}

TEST_F(Startup, HelpForNoArgumentsAndTheHelpSwitches) {
    AddEverything();
    std::string help = ReadFile(bin / "Command line.txt");
    ASSERT_FALSE(help.empty());
    // Copied to standard output byte for byte: the output is read here. Only a Windows program
    // alone on a console of its own opens it with the shell instead. (Windows output comes
    // back with CR LF made LF, so a CR doubled on the way would show.)
#ifdef _WIN32
    std::erase(help, '\r');
#endif
    std::vector<std::string> asks = {"", "-?", "-h", "--help", "-i nothing.xps -?"};
    if (platform::kSlashQuestionIsHelp) asks.push_back("/?");
    for (const std::string& arguments : asks) {
        const ShellResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, arguments.find(".xps") == std::string::npos ? 0 : 1) << arguments;
        EXPECT_EQ(result.out, help) << arguments;
        if (arguments.find(".xps") == std::string::npos) {
            EXPECT_EQ(result.err, "") << arguments;
        }
    }
    if (!platform::kSlashQuestionIsHelp) {
        const ShellResult result = Run("/?");
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "xpsconv: stray word /? ignored\n");
    }
}

// The Windows help file is the same text with CRLF line ends, Windows examples and variables,
// and the Windows exit statuses of an interruption. (Made at build time; elsewhere made here.)
TEST(WindowsHelpFile, SameTextInWindowsForm) {
    const std::string source = SourceDir() + platform::kSeparator + "app" + platform::kSeparator + "Command line.txt";
#ifdef _WIN32
    const std::string windows = ReadFile(InFolder(BuiltBinDir(), "Command line.txt"));
#else
    TempDir out;
    const ShellResult made = RunShell("cmake -DHELP=" + ShellQuote(source) + " -DOUT=" + ShellQuote(out / "help.txt") +
                                      " -P " + ShellQuote(SourceDir() + "/cmake/help_to_windows.cmake"));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string windows = ReadFile(out / "help.txt");
#endif
    ASSERT_FALSE(windows.empty());
    std::string lines;  // the text with LF line ends, each CR checked on the way
    for (size_t at = 0; at < windows.size(); ++at) {
        if (windows[at] == '\r') {
            ASSERT_EQ(windows[at + 1], '\n') << "a CR without its LF at byte " << at;
            continue;
        }
        ASSERT_TRUE(windows[at] != '\n' || (at > 0 && windows[at - 1] == '\r')) << "an LF without its CR at byte " << at;
        lines += windows[at];
    }
    for (const char* posixOnly : {"/home/", "/srv/", "/tmp", "TMPDIR", "signal", "find "})
        EXPECT_EQ(lines.find(posixOnly), std::string::npos) << posixOnly;
    for (const char* shown : {"-?, /?, -h or --help", "-i D:\\in\\*.xps", "C:\\Users\\ann\\report.xps", "%TEMP%",
                              "set XPSCONV_PAGE_TIMEOUT=300", "    130 ", "    143 "})
        EXPECT_NE(lines.find(shown), std::string::npos) << shown;
    // Everything that is not about the system is the source's own text: the options here.
    const std::string linuxText = ReadFile(source);
    for (const char* section : {"OUTPUT\n", "PAGE IMAGE OPTIONS\n", "PDF OPTIONS\n", "TEXT OVERLAY", "NOTES\n"}) {
        const size_t start = linuxText.find(section);
        ASSERT_NE(start, std::string::npos) << section;
        const std::string body = linuxText.substr(start, linuxText.find("\n\n", start) - start);
        EXPECT_NE(lines.find(body), std::string::npos) << section;
    }
    EXPECT_NE(lines.find("\n\n" + LongOptionsHelpSection() + "\n"), std::string::npos);
}

// Without the help file, asking for help is still no failure and prints nothing.
TEST_F(Startup, MissingHelpFileIsQuiet) {
    bin.AddEngineStandIn();
    bin.AddPostProcessor("stand_in_postproc_library");
    for (const std::string arguments : {"", "-?", "-h", "--help"}) {
        const ShellResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments;
        EXPECT_EQ(result.out, "") << arguments;
        EXPECT_EQ(result.err, "") << arguments;
    }
    const ShellResult result = Run("-i nothing.xps -?");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("nothing.xps"), std::string::npos) << result.err;
}

TEST_F(Startup, NothingAskedIsSuccessAndTouchesNothing) {
    AddEverything();
    const ShellResult result = Run("-t pdf -o newfolder");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(fs::exists(work.path() / "newfolder"));
}

TEST_F(Startup, InputThatNamesNoDocumentFails) {
    AddEverything();
    WriteFile(work / "notes.txt", "x");
    const ShellResult result = Run("-i missing.xps -i notes.txt");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("missing.xps"), std::string::npos);
    EXPECT_NE(result.err.find("notes.txt"), std::string::npos);
}

TEST_F(Startup, EngineThatWritesNothingFailsTheDocument) {
    AddEverything();
    WriteFile(work / "doc.xps", "not really a document");
    ShellResult result = Run("-i doc.xps -t pdf -o out");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("doc.xps"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(work.path() / "out"));
    EXPECT_TRUE(ListNames(work / "out").empty());
    result = Run("-i doc.xps -t png");
    EXPECT_EQ(result.exitCode, 1);
}

// A command line that was repaired or partly ignored is no success: status 3 when nothing
// worse happened, with a line that says what was done instead (not with -q); a failure or a
// refusal outranks it. Where a line tells what was written, the output is read back.
TEST_F(Startup, RepairedCommandLinesEndWithStatusThree) {
    bin.AddRealEngine();
    bin.AddPostProcessor("stand_in_postproc_library");
    WriteTwoPageDocument(work / "doc.xps");
    fs::create_directories(work.path() / "in");
    WriteTwoPageDocument(work / "in/a.xps");
    WriteTwoPageDocument(work / "in/b.xps");
    WriteFile(work / "list.txt", "doc.xps\r\n\r\nin\r\n");
    struct Case {
        const char* arguments;
        int status;
        const char* line;  // the first on standard error; empty: nothing at all there
    };
    const Case cases[] = {
        {"-i doc.xps -t pdf -o out", 0, ""},
        {"--list list.txt -t png --dpi 96 -j 2 -o out", 0, "3 documents: 3 converted; 6 files in "},
        {"-i doc.xps -t tif -mc g4 -mb 1 -o out", 0, ""},
        {"doc.xps -t pdf -o out", 3, "xpsconv: stray word doc.xps ignored; give inputs with -i or --list\n"},
        {"-i in/a.xps in/b.xps -t pdf -o out", 3, "xpsconv: stray word in/b.xps ignored; give inputs with -i or --list\n"},
        {"--output out -i doc.xps -t pdf", 3, "xpsconv: unknown option --output ignored\n"},
        {"-i doc.xps -t pfd -o out", 3, "xpsconv: unknown type -t pfd, jpg used\n"},
        {"-I doc.xps -o out", 3, "xpsconv: unknown option -I ignored (options are lower case: -i)\n"},
        {"-i doc.xps -t tif -mm -mc g4 --dpi 100 -o out", 3,
         "xpsconv: -mc g4 cannot compress true colour pages; jpg written instead (g4 needs -mb 1)\n"},
        {"-i doc.xps -t png -pu secret -o out", 3,
         "xpsconv: -pu applies to PDF output only; the PNG images are written without it\n"},
        {"-i doc.xps -t png -wt SECRET -o out", 3,
         "xpsconv: -wt applies to PDF output only; the PNG images are written without it\n"},
        {"-i doc.xps -t png -mm -o out", 3, "xpsconv: -mm applies to TIFF only; one PNG file per page written instead\n"},
        {"-i doc.xps -t png -mb 2 -o out", 3, "xpsconv: -mb 2 cannot apply to PNG; true colour (-mb 24) written instead\n"},
        {"-i doc.xps -t png -mx 150 -o out", 3,
         "xpsconv: -mx 150 without -my: pages rendered at 150 x 72 dpi; give both, or --dpi 150\n"},
        {"-q -i doc.xps -t pfd -mx 150 -o out", 3, ""},
        {"-i doc.xps -i missing.xps -t pfd -o out", 1, "xpsconv: unknown type -t pfd, jpg used\n"},
        {"-i doc.xps -t pfd --jobs x -o out", 2, "xpsconv: unknown type -t pfd, jpg used\n"},
    };
    for (const Case& c : cases) {
        fs::remove_all(work.path() / "out");
        const ShellResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, c.status) << c.arguments << "\n" << result.err;
        if (c.line[0] == '\0') {
            EXPECT_EQ(result.err, "") << c.arguments;
        } else {
            EXPECT_TRUE(result.err.starts_with(c.line)) << c.arguments << "\n" << result.err;
        }
    }
    // The last TIFF and PNG claims, read back: a JPEG-compressed TIFF, a page stretched across.
    fs::remove_all(work.path() / "out");
    ASSERT_EQ(Run("-i doc.xps -t tif -mm -mc g4 -o out").exitCode, 3);
    if (HaveTool("tiffinfo")) {
        const ShellResult info = RunShell("tiffinfo " + ShellQuote(work / "out/doc.tif"));
        EXPECT_NE(info.out.find("Compression Scheme: JPEG"), std::string::npos) << info.out;
    }
    ASSERT_EQ(Run("-i doc.xps -t png -mx 150 -o out").exitCode, 3);
    DecodedImage page;
    ASSERT_TRUE(DecodeImage(work / "out/doc_001.png", page));
    EXPECT_EQ(page.width, 1275);  // 8.5 inches at 150 dpi
    EXPECT_EQ(page.height, 792);  // 11 inches at 72
}

}  // namespace
