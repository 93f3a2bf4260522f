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
// Runs a shell command with its standard output and error captured.
ShellResult RunShell(const std::string& command);
// Quotes a word for the shell.
std::string ShellQuote(const std::string& word);
// True when the program can be found on the search path.
bool HaveTool(const std::string& name);

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
