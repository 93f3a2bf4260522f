// The path-capacity checks and the folder-path creation over the platform's file calls.
#include "platform/file_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(CreateFolderPathTest, OnlyAPathEndingInASeparatorGetsItsLastFolder) {
    TempDir dir;
    platform::CreateFolderPath(NativeSeparators(dir / "one/two/"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "one/two"));
    platform::CreateFolderPath(NativeSeparators(dir / "three/four"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "three"));
    EXPECT_FALSE(fs::exists(dir.path() / "three/four"));
    platform::CreateFolderPath(NativeSeparators(dir / "one/two/"));  // existing folders are harmless
    platform::CreateFolderPath("");
}

TEST(FileChecks, FilesAndFolders) {
    TempDir dir;
    WriteFile(dir / "f.xps", "x");
    EXPECT_EQ(platform::FileExists(dir / "f.xps"), 1);
    EXPECT_EQ(platform::FileExists(dir.str()), 0);
    EXPECT_EQ(platform::FileExists(dir / "missing"), 0);
    EXPECT_EQ(platform::FolderExists(dir.str()), 1);
    EXPECT_EQ(platform::FolderExists(dir / "f.xps"), 0);
    EXPECT_EQ(platform::FileExists(std::string(300, 'a')), 0);
}

// A path past 260 characters, which the system's narrow calls refuse on Windows, through every
// file call that takes one; what each did is read back by the standard library.
TEST(FileChecks, PathsBeyondTwoHundredSixtyCharacters) {
    TempDir dir;
    std::string folder = NativeSeparators(dir.str());
    while (folder.size() < 300) folder += platform::kSeparator + std::string(50, 'f');
    folder += platform::kSeparator;
    platform::CreateFolderPath(folder);
    ASSERT_TRUE(fs::is_directory(fs::path(folder)));
    EXPECT_EQ(platform::FolderExists(folder), 1);
    EXPECT_EQ(platform::FolderUnusableReason(folder), "");
    std::FILE* file = platform::CreateNewFile(folder + "new.tmp", "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("bytes", file);
    std::fclose(file);
    EXPECT_EQ(platform::CreateNewFile(folder + "new.tmp", "wb"), nullptr);
    EXPECT_TRUE(platform::MoveFileOver(folder + "new.tmp", folder + "kept.xps"));
    EXPECT_EQ(platform::FileExists(folder + "kept.xps"), 1);
    EXPECT_FALSE(platform::FileIsReadOnly(folder + "kept.xps"));
    file = platform::OpenFile(folder + "kept.xps", "rb");
    ASSERT_NE(file, nullptr);
    char read[8] = {};
    EXPECT_EQ(std::fread(read, 1, sizeof(read), file), 5u);
    std::fclose(file);
    EXPECT_EQ(std::string(read), "bytes");
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::ListFolder(folder, entries));
    const auto kept = std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.name == "kept.xps"; });
    ASSERT_NE(kept, entries.end());
    EXPECT_TRUE(kept->isRegularFile);
    EXPECT_TRUE(platform::RemoveFile(folder + "kept.xps"));
    EXPECT_TRUE(platform::RemoveFolder(folder));
    EXPECT_FALSE(fs::exists(fs::path(folder).parent_path()));
}

}  // namespace
