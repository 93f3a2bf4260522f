// The program's start-up checks, help and exit status, run as a real process from a folder
// that holds only what each case needs beside it.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override { fs::copy_file(BuiltBinDir() + "/xpsconv", dir / "xpsconv"); }
    void AddEngineStandIn() { fs::copy_file(TestHelpersDir() + "/fake_engine_program", dir / "proc.dll"); }
    void AddPostProcessor(const std::string& library) {
        fs::copy_file(TestHelpersDir() + "/" + library + ".so", dir / "mstar.dll");
    }
    void AddHelpFile() { fs::copy_file(BuiltBinDir() + "/Command line.txt", dir / "Command line.txt"); }
    void AddEverything() {
        AddEngineStandIn();
        AddPostProcessor("stand_in_postproc_library");
        AddHelpFile();
    }
    ShellResult Run(const std::string& arguments) {
        return RunShell("cd " + ShellQuote(work.str()) + " && " + ShellQuote(dir / "xpsconv") + " " + arguments);
    }
    TempDir dir;
    TempDir work;
};

TEST_F(Startup, MissingEngineIsTheOnlyMessage) {
    const ShellResult result = Run("");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Error: Load proc.dll failed, please reinstall!\n");
    EXPECT_EQ(result.out, "");
}

TEST_F(Startup, MissingOrIncompletePostProcessor) {
    AddEngineStandIn();
    AddHelpFile();
    ShellResult result = Run("-t bmp");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Quorbex Tavrin Command Line: Load mstar.dll failed, please reinstall!\n");
    AddPostProcessor("version_only_postproc_library");
    result = Run("");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Quorbex Tavrin Command Line: Load mstar.dll failed, please reinstall!\n");
    EXPECT_EQ(result.out, "");
}

TEST_F(Startup, HelpForNoArgumentsAndTheHelpSwitches) {
    AddEverything();
    const std::string help = ReadFile(dir / "Command line.txt");
    ASSERT_FALSE(help.empty());
    for (const std::string arguments : {"", "-?", "-h", "--help", "-i nothing.xps -?"}) {
        const ShellResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, arguments.find(".xps") == std::string::npos ? 0 : 1) << arguments;
        EXPECT_EQ(result.out, help) << arguments;
        if (arguments.find(".xps") == std::string::npos) {
            EXPECT_EQ(result.err, "") << arguments;
        }
    }
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
