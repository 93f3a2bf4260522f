// The program's start-up checks, help and exit status, run as a real process from a folder
// that holds only what each case needs beside it.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/end_to_end_support.h"

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
    const std::string help = ReadFile(bin / "Command line.txt");
    ASSERT_FALSE(help.empty());
#ifdef _WIN32
    // Opened with the shell's default action, in a window of its own: nothing on the console.
    const std::string shown;
#else
    // Copied to standard output.
    const std::string shown = help;
#endif
    for (const std::string arguments : {"", "-?", "-h", "--help", "-i nothing.xps -?"}) {
        const ShellResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, arguments.find(".xps") == std::string::npos ? 0 : 1) << arguments;
        EXPECT_EQ(result.out, shown) << arguments;
        if (arguments.find(".xps") == std::string::npos) {
            EXPECT_EQ(result.err, "") << arguments;
        }
    }
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

}  // namespace
