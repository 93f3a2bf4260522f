// The path-capacity checks and the folder-path creation over the platform's file calls.
#include "platform/file_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
