#include "app/input_collection.h"
#include "app/shard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/file_helpers.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// A path with the platform's separators, as the input collection builds its paths.
std::string Native(const std::string& path) { return NativeSeparators(path); }

// Runs a body with the current folder set to dir, and restores it.
class CurrentFolder {
public:
    explicit CurrentFolder(const fs::path& dir) : saved_(fs::current_path()) { fs::current_path(dir); }
    ~CurrentFolder() { fs::current_path(saved_); }

private:
    fs::path saved_;
};

FileList Sorted(FileList files) {
    std::sort(files.begin(), files.end());
    return files;
}

class InputCollection : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.path() / "docs" / "sub");
        WriteFile(dir / "docs/a.xps", "x");
        WriteFile(dir / "docs/B.XPS", "x");
        WriteFile(dir / "docs/c.xps.bak", "x");
        WriteFile(dir / "docs/notes.txt", "x");
        WriteFile(dir / "docs/sub/deep.xps", "x");
        fs::create_directories(dir.path() / "docs" / "folder.xps");
    }
    TempDir dir;
};

TEST(IsXpsFileTest, ExtensionOfTheLastComponentOnly) {
    EXPECT_EQ(IsXpsFile("/a/b/report.xps"), 1);
    EXPECT_EQ(IsXpsFile("/a/b/REPORT.XpS"), 1);
    EXPECT_EQ(IsXpsFile("/a/b/report.xps.bak"), 0);
    EXPECT_EQ(IsXpsFile("/a/b.xps/report"), 0);
    EXPECT_EQ(IsXpsFile("report.xpsx"), 0);
    EXPECT_EQ(IsXpsFile(".xps"), 1);
    EXPECT_EQ(IsXpsFile("noextension"), 0);
    EXPECT_EQ(IsXpsFile("/a/open.oxps"), 1);
    EXPECT_EQ(IsXpsFile("/a/open.OXPS"), 1);
    EXPECT_EQ(IsXpsFile("/a/open.xxps"), 0);
}

TEST_F(InputCollection, RelativeFileBecomesAbsolute) {
    CurrentFolder here(dir.path());
    FileList files;
    EXPECT_EQ(ExpandInputs({"docs/a.xps"}, files), 0);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(fs::path(files[0].path), fs::canonical(dir.path() / "docs/a.xps"));
}

TEST_F(InputCollection, RelativeFolderKeepsTheTextAsTyped) {
    CurrentFolder here(dir.path());
    FileList withoutSeparator;
    FileList withSeparator;
    ExpandInputs({"docs"}, withoutSeparator);
    ExpandInputs({Native("docs/")}, withSeparator);
    // In byte order of the names, whatever order the file system lists them in.
    EXPECT_EQ(withoutSeparator, (FileList{Native("docs/B.XPS"), Native("docs/a.xps")}));
    EXPECT_EQ(withSeparator, withoutSeparator);
}

TEST_F(InputCollection, DuplicatesStayAndOrderFollowsSpecifications) {
    FileList files;
    const std::string a = Native(dir / "docs/a.xps");
    ExpandInputs({a, Native(dir / "docs"), a}, files);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files.front(), a);
    EXPECT_EQ(files.back(), a);
    // The folder text as typed is the absolute folder here, so its entry is the same text.
    EXPECT_EQ(std::count(files.begin(), files.end(), a), 3);
}

TEST_F(InputCollection, NothingForMissingWildcardOrOtherExtensions) {
    FileList files;
    // Where the shell expands patterns, one that reaches the program matched nothing there.
    const int unmatched = ExpandInputs({dir / "docs/*.xps", dir / "missing.xps", dir / "docs/notes.txt",
                                        dir / "docs/c.xps.bak"},
                                       files, false, false);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(unmatched, 4);
}

// Where the program expands patterns itself: * and ? in the last component, letters in any case,
// ? one character (a whole UTF-8 sequence), only regular XPS files, in byte order of the names.
TEST_F(InputCollection, WildcardsSelectMatchingDocumentsInNameOrder) {
    const std::string docs = Native(dir / "docs") + platform::kSeparator;
    // Joined as text: a path object would take the UTF-8 name for another code page's.
    for (const char* name : {"a2.xps", "ab.oxps", "b.xpsx", "\xe5\xa0\xb1.xps", "x.xps.txt"}) WriteFile(docs + name, "x");
    const auto expand = [&](const std::string& pattern, FileList& files, std::vector<std::string>& problems) {
        return ExpandInputSpec(pattern, files, problems, false, true);
    };
    FileList files;
    std::vector<std::string> problems;
    EXPECT_EQ(expand(docs + "*.xps", files, problems), 0);
    EXPECT_EQ(files, (FileList{docs + "B.XPS", docs + "a.xps", docs + "a2.xps", docs + "\xe5\xa0\xb1.xps"}));
    files.clear();
    EXPECT_EQ(expand(docs + "A?.*", files, problems), 0);
    EXPECT_EQ(files, (FileList{docs + "a2.xps", docs + "ab.oxps"}));
    files.clear();
    EXPECT_EQ(expand(docs + "?.xps", files, problems), 0);
    EXPECT_EQ(files, (FileList{docs + "B.XPS", docs + "a.xps", docs + "\xe5\xa0\xb1.xps"}));
    files.clear();
    EXPECT_EQ(expand(docs + "*", files, problems), 0);
    EXPECT_EQ(files.size(), 5u) << "the folder, the sub-folder and other extensions are left out";
    files.clear();
    {
        // Relative to the current folder: full paths, as for a document named directly.
        CurrentFolder here(dir.path() / "docs");
        EXPECT_EQ(expand("a*", files, problems), 0);
        EXPECT_EQ(files, (FileList{docs + "a.xps", docs + "a2.xps", docs + "ab.oxps"}));
    }
    files.clear();
    EXPECT_TRUE(problems.empty());
    // No match, a pattern in a folder's name, and a folder that is not there: each one problem.
    EXPECT_EQ(expand(docs + "*.pdf", files, problems), 1);
    EXPECT_EQ(expand(Native(dir / "d*/a.xps"), files, problems), 1);
    EXPECT_EQ(expand(Native(dir / "missing/*.xps"), files, problems), 1);
    EXPECT_TRUE(files.empty());
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0], "xpsconv: no XPS document matches \"" + docs + "*.pdf\"");
    EXPECT_EQ(problems[1], "xpsconv: no XPS document at \"" + Native(dir / "d*/a.xps") +
                               "\" (* and ? are taken in the last part of a name only)");
    EXPECT_EQ(problems[2].rfind("xpsconv: no XPS document at \"" + Native(dir / "missing/*.xps") + "\"", 0), 0u)
        << problems[2];
}

TEST_F(InputCollection, FolderWithoutDocumentsIsReported) {
    FileList files;
    EXPECT_EQ(ExpandInputs({Native(dir / "docs/sub/")}, files), 0);
    EXPECT_EQ(files, (FileList{Native(dir / "docs/sub/deep.xps")}));
    files.clear();
    fs::create_directories(dir.path() / "empty");
    std::vector<std::string> problems;
    EXPECT_EQ(ExpandInputSpec(Native(dir / "empty"), files, problems), 1);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(problems,
              (std::vector<std::string>{"xpsconv: " + Native(dir / "empty") + ": the folder holds no XPS document"}));
}

TEST_F(InputCollection, OpenXpsRegularFilesOnlyAndPathsWithinTheirCapacity) {
    WriteFile(dir / "docs/open.OXPS", "x");
#ifndef _WIN32
    // Windows has no pipes among the files of a folder.
    ASSERT_EQ(RunShell("mkfifo " + ShellQuote(dir / "docs/pipe.xps")).exitCode, 0);
#endif
    FileList files;
    std::vector<std::string> problems;
    // Neither the pipe nor the folder named like a document is taken.
    EXPECT_EQ(ExpandInputSpec(Native(dir / "docs"), files, problems), 0);
    EXPECT_EQ(Sorted(files),
              Sorted({Native(dir / "docs/a.xps"), Native(dir / "docs/B.XPS"), Native(dir / "docs/open.OXPS")}));
    files.clear();
    EXPECT_EQ(ExpandInputSpec(Native(dir / "docs/open.OXPS"), files, problems), 0);
    EXPECT_EQ(files, (FileList{Native(dir / "docs/open.OXPS")}));
#ifndef _WIN32
    // A pipe named like a document is no document: it would hold the engine forever.
    EXPECT_EQ(ExpandInputSpec(dir / "docs/pipe.xps", files, problems), 1);
#endif
    // Nor is a folder named like one, named itself.
    files.clear();
    problems.clear();
    EXPECT_EQ(ExpandInputSpec(Native(dir / "docs/folder.xps"), files, problems), 1);
    EXPECT_TRUE(files.empty());

    // A folder whose documents' full paths pass 260 characters: each is taken whole.
    std::string deep = Native(dir.str());
    while (deep.size() < 300) deep += platform::kSeparator + std::string(40, 'f');
    fs::create_directories(deep);
    // Made through the wide file name on Windows, whose ANSI calls stop short of such a path.
    const std::string document = deep + platform::kSeparator + std::string(20, 'n') + ".xps";
    std::ofstream(fs::path(document)) << "x";
    files.clear();
    problems.clear();
    EXPECT_EQ(ExpandInputSpec(deep, files, problems), 0);
    EXPECT_EQ(files, FileList{InputDocument(document)});
    EXPECT_EQ(problems, std::vector<std::string>{});
}

// Sub-folders come at their place among the names, depth first, each document with its folder
// below the folder input; a link to a folder is not followed, so a loop of links ends nothing.
TEST_F(InputCollection, RecursiveFoldersInNameOrderWithTheirRelativeFolders) {
    fs::create_directories(dir.path() / "docs/sub/inner");
    fs::create_directories(dir.path() / "docs/Z");
    WriteFile(dir / "docs/sub/inner/x.xps", "x");
    WriteFile(dir / "docs/sub/b.xps", "x");
    WriteFile(dir / "docs/Z/z.xps", "x");
    WriteFile(dir / "docs/zz.xps", "x");
#ifndef _WIN32
    fs::create_directory_symlink(dir.path() / "docs", dir.path() / "docs/sub/loop");
    fs::create_symlink(dir.path() / "docs/a.xps", dir.path() / "docs/sub/linked.xps");
#endif
    const std::string top = Native(dir / "docs");
    const auto at = [&](const std::string& relative, const std::string& folder) {
        return InputDocument(Native(top + "/" + relative), Native(folder));
    };
    FileList files;
    EXPECT_EQ(ExpandInputs({top}, files, true), 0);
    FileList expected = {at("B.XPS", ""),        at("Z/z.xps", "Z/"), at("a.xps", ""),
                         at("sub/b.xps", "sub/"), at("sub/deep.xps", "sub/"), at("sub/inner/x.xps", "sub/inner/"),
                         at("zz.xps", "")};
#ifndef _WIN32
    // A link to a document is a document.
    expected.insert(expected.begin() + 6, at("sub/linked.xps", "sub/"));
#endif
    EXPECT_EQ(files, expected);
    // Without recursion the top folder alone, the same way.
    files.clear();
    ExpandInputs({top}, files);
    EXPECT_EQ(files, (FileList{at("B.XPS", ""), at("a.xps", ""), at("zz.xps", "")}));
    // A folder whose documents are all below it is no empty folder then.
    fs::create_directories(dir.path() / "outer/deeper");
    WriteFile(dir / "outer/deeper/d.xps", "x");
    files.clear();
    EXPECT_EQ(ExpandInputs({Native(dir / "outer")}, files, true), 0);
    EXPECT_EQ(files, (FileList{InputDocument(Native(dir / "outer/deeper/d.xps"), Native("deeper/"))}));
}

// The parts of a sharded run: disjoint, together the whole de-duplicated list, equal to within
// one, the same whatever order the documents were named in.
TEST(Shard, PartsAreDisjointAndCoverTheSortedList) {
    FileList files;
    for (char i = '9'; i >= '0'; --i) files.emplace_back(std::string("d") + i + ".xps");
    files.emplace_back("d3.xps");                 // the same document twice
    files.emplace_back("d3.xps", "sub/");         // another output place: another piece of work
    EXPECT_EQ(SelectShard(files, 0, 1), files);  // one part: the list as it is
    FileList reversed(files.rbegin(), files.rend());
    FileList all;
    for (int32_t k = 0; k < 3; ++k) {
        const FileList part = SelectShard(files, k, 3);
        EXPECT_EQ(part, SelectShard(reversed, k, 3));
        EXPECT_EQ(part.size(), k == 2 ? 3u : 4u);
        all.insert(all.end(), part.begin(), part.end());
    }
    EXPECT_EQ(SelectShard(files, 0, 3).front(), InputDocument("d0.xps"));
    EXPECT_EQ(SelectShard(files, 1, 3).front(), InputDocument("d1.xps"));
    FileList unique = files;
    unique.erase(unique.begin() + 10);
    EXPECT_EQ(Sorted(all), Sorted(unique)) << "every document once, the repeat dropped";
    EXPECT_TRUE(SelectShard(FileList{}, 4, 5).empty());
}

TEST_F(InputCollection, DotSegmentsResolve) {
    FileList files;
    ExpandInputs({Native(dir / "docs/sub/../a.xps")}, files);
    EXPECT_EQ(files, (FileList{Native(dir / "docs/a.xps")}));
}

}  // namespace
