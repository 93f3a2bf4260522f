#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLineTest, WindowsRules) {
    EXPECT_EQ(platform::SplitCommandLine("a b\tc"), (Words{"a", "b", "c"}));
    EXPECT_EQ(platform::SplitCommandLine("  \"a b\" c  "), (Words{"a b", "c"}));
    EXPECT_EQ(platform::SplitCommandLine("-sOutputFile=\"x y.pdf\" z"), (Words{"-sOutputFile=x y.pdf", "z"}));
    EXPECT_EQ(platform::SplitCommandLine(R"(a\\\"b)"), (Words{"a\\\"b"}));    // 3 backslashes + quote
    EXPECT_EQ(platform::SplitCommandLine(R"("a\\" b)"), (Words{"a\\", "b"}));  // 2 backslashes + quote
    EXPECT_EQ(platform::SplitCommandLine(R"(a\b\\c)"), (Words{"a\\b\\\\c"}));  // lone backslashes stay
    EXPECT_EQ(platform::SplitCommandLine(R"("a""b")"), (Words{"a\"b"}));
    EXPECT_EQ(platform::SplitCommandLine("\"\""), (Words{""}));
    EXPECT_EQ(platform::SplitCommandLine("   "), (Words{}));
}

TEST(QuoteArgumentTest, RoundTripsEveryAwkwardText) {
    const Words texts = {"", "plain", "two words", "ends\\", "ends\\\\", "q\"uote", "\\\"", "a\\\\\"b",
                         "(Title with (parens))", "tab\there", "-wTitle=\"x\"", "\\\\server\\share\\"};
    for (const std::string& text : texts) {
        const std::string line = "prog " + platform::QuoteArgument(text) + " next";
        EXPECT_EQ(platform::SplitCommandLine(line), (Words{"prog", text, "next"})) << text;
    }
}

// The same paths on both systems, with the platform's separator; rooted at "/", or at "C:\"
// on Windows.
std::string Native(std::string path) {
    for (char& c : path)
        if (c == '/') c = platform::kSeparator;
    return path;
}
#ifdef _WIN32
std::string Rooted(const std::string& path) { return "C:" + Native(path); }
#else
std::string Rooted(const std::string& path) { return Native(path); }
#endif

TEST(FullPathTest, ResolvesDotsByText) {
    EXPECT_EQ(platform::FullPath(Rooted("/a/b/../c/./d")), Rooted("/a/c/d"));
    EXPECT_EQ(platform::FullPath(Rooted("/a/b/")), Rooted("/a/b/"));
    EXPECT_EQ(platform::FullPath(Rooted("/../..")), Rooted("/"));
    EXPECT_EQ(platform::FullPath(""), "");
    const std::string relative = platform::FullPath(Native("x/y"));
    ASSERT_FALSE(relative.empty());
    EXPECT_TRUE(platform::IsAbsoluteFolderPath(relative)) << relative;
    EXPECT_EQ(relative.substr(relative.size() - 4), Native("/x/y"));
}

}  // namespace
