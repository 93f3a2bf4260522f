#include "support/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <algorithm>

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("xpsconv-test-" + std::to_string(random()) + "-" + std::to_string(stamp % 1000000) + "-" +
             std::to_string(counter++));
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string ShellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

ShellResult RunShell(const std::string& command) {
    TempDir capture;
    const std::string out = capture / "out";
    const std::string err = capture / "err";
    const std::string code = capture / "code";
    const std::string wrapped = "( " + command + " ) </dev/null >" + ShellQuote(out) + " 2>" + ShellQuote(err) +
                                "; echo $? >" + ShellQuote(code);
    ShellResult result;
    if (std::system(wrapped.c_str()) != 0) return result;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    const std::string codeText = ReadFile(code);
    result.exitCode = codeText.empty() ? -1 : std::atoi(codeText.c_str());
    return result;
}

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + ShellQuote(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (!entry.is_directory()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
