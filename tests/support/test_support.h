#pragma once
// Temporary folders, file helpers and a shell runner for the tests.

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_paths.h"

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

struct ShellResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a shell command with its standard output and error captured. The shell and the readers
// it runs are Linux's: a Windows test under Wine hands the command to the reader bridge that
// scripts/run-under-wine.sh serves, and gets the same result back.
ShellResult RunShell(const std::string& command);
// Quotes a word for that shell. On Windows a word that is an absolute Windows path becomes the
// Linux path of the same file, so the readers find what the Windows programs wrote.
std::string ShellQuote(const std::string& word);
// The word in single quotes for a POSIX shell, as it stands (ShellQuote's last step).
std::string PosixShellWord(const std::string& word);
// True when the program can be found on the shell's search path.
bool HaveTool(const std::string& name);

// Waits up to timeoutMs until a thread of this process is blocked in a system call on address:
// in its wait on that value, past the moments before it. False when none was. Windows shows no
// thread's system call: there it is true at once, and what follows meets the wait as it comes.
bool ThreadBlocksOn(const void* address, int timeoutMs);

// The file name of one of this project's programs or test helpers: "xpsconv.exe" on Windows.
std::string ProgramFile(const std::string& name);
// A test helper program or library (tests/helpers) by its base name.
std::string HelperProgram(const std::string& name);
std::string HelperLibrary(const std::string& name);
// Quotes one argument of a command line for RunProgram: a shell word on POSIX, the Windows
// command-line rules on Windows.
std::string ArgQuote(const std::string& argument);
struct ProgramOptions {
    std::string folder;                    // working folder; "" keeps the test's own
    std::string tempFolder;                // the system temporary folder it sees; "" keeps it
    std::vector<std::string> environment;  // more "NAME=value" settings
    int timeoutSeconds = 300;              // then it is ended, with exit code 124
};
// Runs one of this project's programs natively (a Windows program directly, not through the
// Linux shell) with the arguments text after its name exactly as given, standard input empty
// and standard output and error captured.
ShellResult RunProgram(const std::string& program, const std::string& arguments,
                       const ProgramOptions& options = {});

// The outside tools the tests read outputs with, and the fonts those tools draw with. A test
// that lacks one skips on a developer's machine but FAILS under CI (CI=true), naming the Debian
// package to install, so that a green CI can never hide a missing install step.
bool UnderCi();
// "" when every tool is on the search path, else what is missing and which package has it.
std::string MissingTools(const std::vector<std::string>& tools);
// "" when fontconfig serves family from the named package's fonts, else what to install.
std::string MissingFont(const std::string& family);
// For a check that runs only when its reader is there: true when it is; when it is not, false,
// and under CI a test failure naming the package.
bool UseTool(const std::string& tool);
// Debian package of a tool or font family the tests use; "" for one the table lacks.
std::string PackageOf(const std::string& toolOrFont);

#define XPSCONV_REQUIRE_(missing)                     \
    do {                                              \
        const std::string what_ = (missing);          \
        if (!what_.empty()) {                         \
            if (UnderCi()) FAIL() << what_;           \
            GTEST_SKIP() << what_;                    \
        }                                             \
    } while (0)
// In a test body or SetUp: REQUIRE_TOOLS("pdfinfo", "qpdf"); REQUIRE_FONT("Helvetica").
#define REQUIRE_TOOLS(...) XPSCONV_REQUIRE_(MissingTools({__VA_ARGS__}))
#define REQUIRE_FONT(family) XPSCONV_REQUIRE_(MissingFont(family))
// Files (not folders) directly inside a folder, names only, sorted.
std::vector<std::string> ListNames(const std::string& folder);
