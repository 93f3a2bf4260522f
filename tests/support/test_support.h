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
// Files (not folders) directly inside a folder, names only, sorted.
std::vector<std::string> ListNames(const std::string& folder);
