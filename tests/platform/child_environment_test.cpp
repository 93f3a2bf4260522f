// The environment a child process starts with: ours, plus the extra variables given for it
// alone, an extra one replacing ours of the same name (on Windows in any letter case, as the
// system compares names there).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/child_output.h"
#include "support/test_support.h"

namespace {

using Lines = std::vector<std::string>;

// Runs the fake engine in the given mode to its end; its standard output, one entry per line.
Lines OutputLines(const std::vector<std::string>& mode, const std::vector<std::string>& extra) {
    std::vector<std::string> arguments{HelperProgram("fake_engine_program")};
    arguments.insert(arguments.end(), mode.begin(), mode.end());
    platform::ChildProcess child;
    if (!platform::StartChildProcess(arguments, child, extra)) return {"<not started>"};
    const std::string output = ReadWholeChildOutput(child);
    platform::WaitChildProcess(child, 10000);
    platform::CloseChildProcess(child);
    Lines lines;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);) {
        // The Windows C runtime ends its text lines with a carriage return too.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

#ifdef _WIN32
// The search path's variable under another letter case: the extra one must still replace it.
const std::string kPathName = "Path";
const std::string kNowhere = "C:\\nowhere";
bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}
#else
const std::string kPathName = "PATH";
const std::string kNowhere = "/nowhere";
bool SameName(const std::string& a, const std::string& b) { return a == b; }
#endif

// Removes the entries of the search path's variable; how many there were, and the last one.
size_t ErasePath(Lines& entries, std::string& erased) {
    const size_t before = entries.size();
    std::erase_if(entries, [&](const std::string& entry) {
        if (!SameName(entry.substr(0, entry.find('=', 1)), "PATH")) return false;
        erased = entry;
        return true;
    });
    return before - entries.size();
}

TEST(ChildEnvironmentTest, ExtraVariablesReachTheChildAloneAndReplaceTheirNamesakes) {
    EXPECT_EQ(OutputLines({"getenv", "XPSCONV_TEST_EXTRA"}, {"XPSCONV_TEST_EXTRA=two words=3"}),
              Lines{"[two words=3]"});
    // Given to that child only: this process and the next child never see it.
    EXPECT_EQ(std::getenv("XPSCONV_TEST_EXTRA"), nullptr);
    EXPECT_EQ(OutputLines({"getenv", "XPSCONV_TEST_EXTRA"}, {}), Lines{"<unset>"});

    // Our variables are all there, once each, PATH replaced where an extra one names it.
    const char* path = std::getenv("PATH");
    ASSERT_NE(path, nullptr);
    Lines inherited = OutputLines({"env"}, {});
    Lines replaced = OutputLines({"env"}, {kPathName + "=" + kNowhere});
    std::string inheritedPath, replacedPath;
    ASSERT_EQ(ErasePath(inherited, inheritedPath), 1u);
    ASSERT_EQ(ErasePath(replaced, replacedPath), 1u);
    EXPECT_EQ(inheritedPath.substr(inheritedPath.find('=', 1) + 1), path);
    EXPECT_EQ(replacedPath, kPathName + "=" + kNowhere);
    std::sort(inherited.begin(), inherited.end());
    std::sort(replaced.begin(), replaced.end());
    EXPECT_EQ(replaced, inherited);
    EXPECT_GT(inherited.size(), 2u);
}

}  // namespace
