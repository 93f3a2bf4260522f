// The watchdog ends a crash dialog only below this run's own engine, and then that engine.
// Every process these tests look at is one they started themselves, so suites running at the
// same time on the machine (with their own dialogs and engines) cannot disturb them.
#include "driver/watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <utility>

#include "platform/platform.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

bool ProcessAlive(int64_t id) {
    for (const platform::ProcessInfo& process : platform::ListProcesses())
        if (process.id == id) return true;
    return false;
}

// Waits until each process is listed under its name (a child started by id, not yet by its
// program, still has its parent's); false when one never was.
bool ListedAs(const std::vector<std::pair<int64_t, std::string>>& expected) {
    for (const auto start = Clock::now(); Clock::now() - start < std::chrono::seconds(30);) {
        const std::vector<platform::ProcessInfo> list = platform::ListProcesses();
        const bool all = std::all_of(expected.begin(), expected.end(), [&](const auto& wanted) {
            return std::any_of(list.begin(), list.end(), [&](const platform::ProcessInfo& process) {
                return process.id == wanted.first && process.name == wanted.second;
            });
        });
        if (all) return true;
        platform::SleepMilliseconds(5);
    }
    return false;
}

// A helper program under another name in folder (the process list shows a program's file
// name): a link on POSIX, a copy on Windows, whose process list names a program after its own
// file. Names that differ only in case go in folders of their own, as Windows file names do not.
std::string Named(const std::string& helper, const fs::path& folder, const std::string& name) {
    fs::create_directories(folder);
    const std::string program = (folder / name).string();
#ifdef _WIN32
    fs::copy_file(HelperProgram(helper), program);
#else
    fs::create_symlink(HelperProgram(helper), program);
#endif
    return program;
}
// An engine stays alive when its dialog is ended, so only the watchdog can end it; a dialog
// sleeps.
std::string EngineNamed(const fs::path& folder, const std::string& name) {
    return Named("image_driver_steady_parent_program", folder, name);
}
std::string DialogNamed(const fs::path& folder, const std::string& name) {
    return Named("fake_engine_program", folder, name);
}

class WatchdogTest : public ::testing::Test {
protected:
    void StartWatchdog() { watchdog = std::thread(CrashDialogWatchdog, std::ref(active)); }
    void TearDown() override {
        StopWatchdog(active);
        if (watchdog.joinable()) watchdog.join();
        // Grandchildren first, and only those still below a child of ours: an id whose parent
        // is gone may be someone else's by now.
        for (const platform::ProcessInfo& process : platform::ListProcesses()) {
            const bool ours = std::any_of(children.begin(), children.end(), [&](const platform::ChildProcess& c) {
                return c.id > 0 && c.id == process.parentId;
            });
            if (ours && std::find(grandchildren.begin(), grandchildren.end(), process.id) != grandchildren.end())
                platform::TerminateProcessById(process.id);
        }
        for (platform::ChildProcess& child : children) {
            platform::KillChildProcess(child);
            platform::CloseChildProcess(child);
        }
    }
    // Starts a child of this process; its index in children.
    size_t Start(const std::vector<std::string>& arguments) {
        children.emplace_back();
        EXPECT_TRUE(platform::StartChildProcess(arguments, children.back()));
        return children.size() - 1;
    }
    // Starts program (an engine) as a child that starts dialog as its own child, and waits
    // until both are listed by their names; returns the grandchild's id (0 when it never
    // showed up).
    int64_t StartWithChild(const std::string& program, const std::string& dialog, size_t& index) {
        const std::string pidFile = dir / ("pid" + std::to_string(children.size()));
        index = Start({program, "spawn", dialog, "600000", pidFile});
        for (int waited = 0; waited < 30000; waited += 2) {
            const int64_t id = std::atoll(ReadFile(pidFile).c_str());
            if (id > 0) {
                grandchildren.push_back(id);
                const auto name = [](const std::string& path) { return fs::path(path).filename().string(); };
                return ListedAs({{children[index].id, name(program)}, {id, name(dialog)}}) ? id : 0;
            }
            platform::SleepMilliseconds(2);
        }
        return 0;
    }

    std::atomic<int> active{1};
    std::thread watchdog;
    std::vector<platform::ChildProcess> children;
    std::vector<int64_t> grandchildren;
    TempDir dir;
};

TEST_F(WatchdogTest, CrashDialogOfOurEngineEndsWithTheEngine) {
    const std::string engine = EngineNamed(dir.path(), "proc.dll");
    const std::string dialog = DialogNamed(dir.path(), "WerFault.exe");
    children.reserve(4);
    // A healthy engine is never touched, however long it runs: a look that saw it left it.
    const size_t healthy = Start({engine, "sleep", "600000"});
    ASSERT_TRUE(ListedAs({{children[healthy].id, "proc.dll"}}));
    EXPECT_EQ(EndOwnCrashDialogs(), 0);
    EXPECT_FALSE(platform::WaitChildProcess(children[healthy], 0)) << "an engine without a dialog was ended";
    platform::KillChildProcess(children[healthy]);

    // Started once the dialog is listed by its name, so that it is not ended before.
    size_t crashed = 0;
    const int64_t dialogId = StartWithChild(engine, dialog, crashed);
    ASSERT_GT(dialogId, 0);
    StartWatchdog();
    // Within the watchdog's cycles, long before either would end by itself.
    EXPECT_TRUE(platform::WaitChildProcess(children[crashed], 30000));
    EXPECT_TRUE(children[crashed].signalled);  // ended from outside, not by itself
    const auto start = Clock::now();
    while (ProcessAlive(dialogId) && Clock::now() - start < std::chrono::seconds(30)) platform::SleepMilliseconds(5);
    EXPECT_FALSE(ProcessAlive(dialogId));
}

TEST_F(WatchdogTest, DialogsOutsideOurEngineTreeAndNearNamesAreLeftAlone) {
    const std::string engine = EngineNamed(dir.path(), "proc.dll");
    const std::string dialog = DialogNamed(dir.path(), "WerFault.exe");
    children.reserve(8);
    const size_t ourEngine = Start({engine, "sleep", "600000"});
    // Our own child, beside the engine rather than below it.
    const size_t sibling = Start({dialog, "sleep", "600000"});
    // Below one of our children that is no engine, below a child of a near name, and a near
    // name below our engine.
    size_t other = 0, nearEngine = 0, nearDialogParent = 0;
    const int64_t underOther = StartWithChild(EngineNamed(dir.path(), "converter.exe"), dialog, other);
    const int64_t underNearEngine =
        StartWithChild(EngineNamed(dir.path() / "near", "Proc.dll"), dialog, nearEngine);
    const int64_t nearDialog =
        StartWithChild(engine, DialogNamed(dir.path() / "near", "werfault.exe"), nearDialogParent);
    ASSERT_GT(underOther, 0);
    ASSERT_GT(underNearEngine, 0);
    ASSERT_GT(nearDialog, 0);
    ASSERT_TRUE(ListedAs({{children[ourEngine].id, "proc.dll"}, {children[sibling].id, "WerFault.exe"}}));

    // The watchdog's look, taken once everything is listed, ends nothing.
    EXPECT_EQ(EndOwnCrashDialogs(), 0);
    for (size_t index : {ourEngine, sibling, other, nearEngine, nearDialogParent})
        EXPECT_FALSE(platform::WaitChildProcess(children[index], 0)) << "child " << index << " was ended";
    for (int64_t id : {underOther, underNearEngine, nearDialog}) EXPECT_TRUE(ProcessAlive(id)) << id;
}

double SecondsToJoin(std::thread& thread, const std::function<void()>& stop) {
    const auto start = Clock::now();
    stop();
    thread.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST_F(WatchdogTest, StoppedThreadIsWokenAndAMereFlagEndsItAtItsNextLook) {
    // Woken: no waiting out the rest of the scan cycle (every run pays this at its end). A wait
    // on the flag far longer than the cycle shows it.
    std::thread waiter([&] { platform::WaitWhileValue(active, 1, 60000); });
    EXPECT_TRUE(ThreadBlocksOn(&active, 30000));
    EXPECT_LT(SecondsToJoin(waiter, [&] { StopWatchdog(active); }), 30.0);

    // The watchdog itself, caught in its wait.
    active = 1;
    StartWatchdog();
    EXPECT_TRUE(ThreadBlocksOn(&active, 30000));
    EXPECT_LT(SecondsToJoin(watchdog, [&] { StopWatchdog(active); }), 30.0);
    active = 1;
    StartWatchdog();
    EXPECT_TRUE(ThreadBlocksOn(&active, 30000));
    EXPECT_LT(SecondsToJoin(watchdog, [&] { active = 0; }), 30.0);
}

// The choice itself, on made-up snapshots: ids of processes that do not exist anywhere.
using Snapshot = std::vector<platform::ProcessInfo>;
using Ids = std::vector<int64_t>;
constexpr int64_t kSelf = 1000;

TEST(CrashDialogVictimsTest, OnlyDialogsBelowOurEnginesAndThenAllOurEngines) {
    const Snapshot snapshot = {
        {1, 0, "init"},
        {kSelf, 1, "xpsconv"},
        {1001, kSelf, "proc.dll"},       // our engine
        {1002, 1001, "helper"},          // below it
        {1003, 1002, "WerFault.exe"},    // a dialog two generations below: ended
        {1004, kSelf, "proc.dll"},       // another engine of ours: ended with the first
        {1005, kSelf, "WerFault.exe"},   // beside the engines: stays
        {2000, 1, "xpsconv"},            // another run
        {2001, 2000, "proc.dll"},
        {2002, 2001, "WerFault.exe"},    // its dialog: stays
        {1006, kSelf, "helper"},
        {1007, 1006, "proc.dll"},        // an engine of our grandchild is not ours
        {1008, 1007, "WerFault.exe"},
    };
    EXPECT_EQ(CrashDialogVictims(snapshot, kSelf), (Ids{1003, 1001, 1004}));
    // Without the dialog below our engine nothing at all is ended.
    Snapshot healthy = snapshot;
    std::erase_if(healthy, [](const platform::ProcessInfo& p) { return p.id == 1003; });
    EXPECT_EQ(CrashDialogVictims(healthy, kSelf), Ids{});
    // The other run's watchdog sees its own dialog and its own engine only.
    EXPECT_EQ(CrashDialogVictims(snapshot, 2000), (Ids{2002, 2001}));
}

TEST(CrashDialogVictimsTest, NamesMatchExactlyAndParentLoopsEnd) {
    const Snapshot nearNames = {
        {1001, kSelf, "proc.dll"},
        {1002, 1001, "werfault.exe"},
        {1003, 1001, "WerFault.exe "},
        {1004, 1001, "WerFault.ex"},
        {1005, kSelf, "Proc.dll"},
        {1006, 1005, "WerFault.exe"},
        {1007, kSelf, "proc.dl"},
        {1008, 1007, "WerFault.exe"},
    };
    EXPECT_EQ(CrashDialogVictims(nearNames, kSelf), Ids{});
    // A snapshot taken while ids are reused can hold a parent loop: the walk still ends.
    const Snapshot loop = {
        {1001, kSelf, "proc.dll"},
        {3001, 3002, "WerFault.exe"},
        {3002, 3001, "helper"},
    };
    EXPECT_EQ(CrashDialogVictims(loop, kSelf), Ids{});
}

}  // namespace
