// Exclusive creation and the replacing rename, on which every "written under a temporary name,
// renamed when complete" promise rests: a taken name is never opened or truncated, and a
// finished file replaces an older one in one step.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/platform.h"
#include "platform/replacement_file.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

TEST(FileReplacementTest, NewFileIsCreatedOnlyWhereNoFileIsAndCanBeReadBack) {
    TempDir dir;
    const std::string path = dir / "new.bin";
    std::FILE* file = platform::CreateNewFile(path, "w+b");
    ASSERT_NE(file, nullptr);
    ASSERT_GE(std::fputs("fresh", file), 0);  // any non-negative value is success
    // "w+b" must give a stream that reads too (the multi-page writer reads its own file back).
    std::rewind(file);
    char back[8] = {};
    EXPECT_EQ(std::fread(back, 1, 5, file), 5u);
    EXPECT_STREQ(back, "fresh");
    ASSERT_EQ(std::fclose(file), 0);

    WriteFile(dir / "taken.bin", "keep me");
    errno = 0;
    EXPECT_EQ(platform::CreateNewFile(dir / "taken.bin", "wb"), nullptr);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFile(dir / "taken.bin"), "keep me");

    errno = 0;
    EXPECT_EQ(platform::CreateNewFile(dir / "no-folder/x.bin", "wb"), nullptr);
    EXPECT_NE(errno, 0);
    EXPECT_FALSE(fs::exists(dir / std::string("no-folder")));
}

TEST(FileReplacementTest, MoveReplacesAnOlderFileAndLeavesTheSourceWhenItFails) {
    TempDir dir;
    WriteFile(dir / "old.txt", "old contents");
    WriteFile(dir / "new.tmp", "new contents");
    ASSERT_TRUE(platform::MoveFileOver(dir / "new.tmp", dir / "old.txt"));
    EXPECT_EQ(ReadFile(dir / "old.txt"), "new contents");
    EXPECT_FALSE(fs::exists(dir / "new.tmp"));

    WriteFile(dir / "lonely.tmp", "still here");
    errno = 0;
    EXPECT_FALSE(platform::MoveFileOver(dir / "lonely.tmp",
                                        dir / "missing/target.txt"));
    EXPECT_NE(errno, 0);
    EXPECT_EQ(ReadFile(dir / "lonely.tmp"), "still here");
}

TEST(FileReplacementTest, ReplacementPassesOverATakenNameAndReplacesTheTargetOnlyOnCommit) {
    TempDir dir;
    const std::string target = dir / "out.pdf";
    WriteFile(target, "old");
    // The name the seed tries first is found, and left taken by someone else's file.
    std::string taken;
    {
        platform::ReplacementFile probe;
        ASSERT_TRUE(probe.Create(target, "wb", "", 7));
        taken = probe.path();
    }
    ASSERT_FALSE(fs::exists(taken)) << "an uncommitted file must go with its object";
    WriteFile(taken, "stale");

    platform::ReplacementFile file;
    ASSERT_TRUE(file.Create(target, "wb", "", 7));
    EXPECT_NE(file.path(), taken);
    // Named after the target plus a dot, as the interrupt cleanup finds the partial files.
    EXPECT_EQ(file.path().rfind(target + ".tmp-", 0), 0u) << file.path();
    ASSERT_GE(std::fputs("new", file.stream()), 0);
    EXPECT_EQ(ReadFile(target), "old");
    ASSERT_TRUE(file.Commit());
    EXPECT_TRUE(file.path().empty());
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(ReadFile(taken), "stale");
    EXPECT_EQ(ListNames(dir.str()).size(), 2u);
}

TEST(FileReplacementTest, FailedReplacementLeavesTheTargetAndNoTemporary) {
    TempDir dir;
    const std::string target = dir / "out.png";
    WriteFile(target, "old");
    {
        platform::ReplacementFile file;
        ASSERT_TRUE(file.Create(target, "wb", ".part"));
        EXPECT_TRUE(file.path().ends_with(".part")) << file.path();
        std::fputs("never finished", file.stream());
    }
    EXPECT_EQ(ListNames(dir.str()), std::vector<std::string>{"out.png"});
    EXPECT_EQ(ReadFile(target), "old");

    // A folder in the target's place cannot be replaced by a file.
    fs::create_directory(dir / "folder");
    WriteFile(dir / "folder/inside.txt", "kept");
    platform::ReplacementFile file;
    ASSERT_TRUE(file.Create(dir / "folder", "wb"));
    std::fputs("new", file.stream());
    errno = 0;
    EXPECT_FALSE(file.Commit());
    EXPECT_NE(errno, 0);
    EXPECT_TRUE(file.path().empty());
    EXPECT_EQ(ListNames(dir.str()), std::vector<std::string>{"out.png"});
    EXPECT_EQ(ReadFile(dir / "folder/inside.txt"), "kept");

    // A read-only target is kept, mode and all, even where the user could write it anyway.
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(target, readOnly);
    EXPECT_TRUE(platform::FileIsReadOnly(target));
    EXPECT_FALSE(platform::FileIsReadOnly(dir / "folder"));
    ASSERT_TRUE(file.Create(target, "wb"));
    std::fputs("new", file.stream());
    errno = 0;
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_TRUE(platform::FileIsReadOnly(target));
    EXPECT_EQ(ListNames(dir.str()), std::vector<std::string>{"out.png"});
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);  // for the clean-up
    EXPECT_FALSE(platform::FileIsReadOnly(target));

    // No folder to create it in: a plain failure with the reason, not a search for a free name.
    errno = 0;
    EXPECT_FALSE(file.Create(dir / "missing/out.png", "wb"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(FileReplacementTest, EnvironmentValueIsSeenByTheLibrariesOfThisProcess) {
    ASSERT_TRUE(platform::SetEnvironmentValue("XPSCONV_PLATFORM_TEST_VALUE", "4711"));
    const char* seen = std::getenv("XPSCONV_PLATFORM_TEST_VALUE");
    ASSERT_NE(seen, nullptr);
    EXPECT_STREQ(seen, "4711");
    EXPECT_TRUE(platform::SetEnvironmentValue("XPSCONV_PLATFORM_TEST_VALUE", "12"));
    EXPECT_STREQ(std::getenv("XPSCONV_PLATFORM_TEST_VALUE"), "12");
}
