// The environment a child process starts with: ours, plus the extra variables given for it
// alone, an extra one replacing ours of the same name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

// Runs the program to its end; its standard output, one entry per line.
std::vector<std::string> OutputLines(const std::vector<std::string>& arguments,
                                     const std::vector<std::string>& extra) {
    platform::ChildProcess child;
    if (!platform::StartChildProcess(arguments, child, extra)) return {"<not started>"};
    std::string output;
    char buffer[256];
    while (platform::WaitForChildOutput(child, 10000)) {
        const size_t count = platform::ReadChildOutput(child, buffer, sizeof(buffer));
        if (count == 0) break;
        output.append(buffer, count);
    }
    platform::WaitChildProcess(child, 10000);
    platform::CloseChildProcess(child);
    std::vector<std::string> lines;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

TEST(ChildEnvironmentTest, ExtraVariablesReachTheChildAloneAndReplaceTheirNamesakes) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(OutputLines({"/bin/sh", "-c", "echo \"[$XPSCONV_TEST_EXTRA]\""},
                          {"XPSCONV_TEST_EXTRA=two words=3"}),
              Lines{"[two words=3]"});
    // Given to that child only: this process and the next child never see it.
    EXPECT_EQ(std::getenv("XPSCONV_TEST_EXTRA"), nullptr);
    EXPECT_EQ(OutputLines({"/bin/sh", "-c", "echo \"[${XPSCONV_TEST_EXTRA-unset}]\""}, {}),
              Lines{"[unset]"});

    // Our variables are all there, once each, PATH replaced where an extra one names it.
    const char* path = std::getenv("PATH");
    ASSERT_NE(path, nullptr);
    Lines inherited = OutputLines({"/usr/bin/env"}, {});
    Lines replaced = OutputLines({"/usr/bin/env"}, {"PATH=/nowhere"});
    ASSERT_EQ(std::erase(inherited, std::string("PATH=") + path), 1u);
    ASSERT_EQ(std::erase(replaced, std::string("PATH=/nowhere")), 1u);
    std::sort(inherited.begin(), inherited.end());
    std::sort(replaced.begin(), replaced.end());
    EXPECT_EQ(replaced, inherited);
}

}  // namespace
