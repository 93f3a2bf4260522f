// A batch split across machines: four shards of one folder run at once, one is killed part-way
// and started again with --skip-existing. Every output must exist exactly once, with the bytes
// of one run over the whole folder, and the reports must be JSON Lines any reader takes.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/end_to_end_support.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

#ifndef _WIN32
constexpr int kDocuments = 40;
constexpr int kShards = 4;

void WriteTwoPageDocument(const std::string& path, int number) {
    xpsfixture::XpsDocumentBuilder doc;
    for (int i = 0; i < 2; ++i) {
        const int page = doc.AddPage(200, 150);
        doc.AddRect(page, 10 + number, 20 + 30 * i, 60, 40, 0x203040u * static_cast<uint32_t>(number + i + 1));
        doc.AddText(page, 10, 130, 14, "Doc " + std::to_string(number) + " page " + std::to_string(i + 1));
    }
    ASSERT_TRUE(doc.WriteTo(path));
}

std::vector<std::string> ShardLine(const std::string& in, const std::string& out, int shard,
                                   const std::string& report, bool skipExisting) {
    std::vector<std::string> line = {InFolder(BuiltBinDir(), ProgramFile("xpsconv")), "-i", in, "-t", "png",
                                     "-o", out, "--shard", std::to_string(shard) + "/" + std::to_string(kShards),
                                     "--report", report, "-q"};
    if (skipExisting) line.push_back("--skip-existing");
    return line;
}

size_t LineCount(const std::string& path) {
    std::error_code error;
    if (!fs::exists(path, error)) return 0;
    const std::string text = ReadFile(path);
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(ShardEndToEnd, KilledShardResumesAndEveryOutputExistsOnceWithTheSingleRunsBytes) {
    if (!UseTool("jq")) return;
    TempDir dir;
    const std::string in = dir / "in";
    fs::create_directories(in);
    for (int i = 0; i < kDocuments; ++i) WriteTwoPageDocument(in + "/doc" + std::to_string(i) + ".xps", i);

    const ShellResult single = RunConverter(dir.str(), "-i in -t png -o single -j 1 -q");
    ASSERT_EQ(single.exitCode, 0) << single.err;

    const std::string out = dir / "out";
    std::vector<platform::ChildProcess> shards(kShards);
    for (int k = 0; k < kShards; ++k) {
        ASSERT_TRUE(platform::StartChildProcess(ShardLine(in, out, k, dir / ("r" + std::to_string(k)), false),
                                                shards[k]));
    }
    // Shard 0 is killed once it has reported its first document, while its others are still to
    // come; the kill is immediate, as a machine that goes away.
    const std::string firstReport = dir / "r0";
    for (int waited = 0; waited < 300000 && LineCount(firstReport) == 0; waited += 20) {
        if (platform::WaitChildProcess(shards[0], 20)) break;
    }
    platform::KillChildProcess(shards[0]);
    for (int k = 1; k < kShards; ++k) {
        ASSERT_TRUE(platform::WaitChildProcess(shards[k], 600000));
        EXPECT_EQ(shards[k].exitCode, 0) << "shard " << k;
    }
    for (platform::ChildProcess& shard : shards) platform::CloseChildProcess(shard);

    const std::string again = dir / "r0-again";
    const std::vector<std::string> line = ShardLine(in, out, 0, again, true);
    std::string arguments;
    for (size_t i = 1; i < line.size(); ++i) arguments += (i > 1 ? " " : "") + ArgQuote(line[i]);
    const ShellResult resumed = RunConverter(dir.str(), arguments);
    ASSERT_EQ(resumed.exitCode, 0) << resumed.err;

    // Each output once, byte for byte that of the single run, and nothing half-written.
    const std::vector<std::string> expected = ListNames(dir / "single");
    ASSERT_EQ(expected.size(), static_cast<size_t>(2 * kDocuments));
    // A run killed outright cannot remove the temporary it was writing; that is no output.
    std::vector<std::string> outputs;
    for (const std::string& name : ListNames(out))
        if (name.find(".tmp-") == std::string::npos) outputs.push_back(name);
    EXPECT_EQ(outputs, expected);
    for (const std::string& name : expected)
        EXPECT_EQ(ReadFile(out + "/" + name), ReadFile(dir / ("single/" + name))) << name;

    // The reports of the finished runs, read by jq: every document once as converted or skipped,
    // and each run's summary.
    std::string reports;
    for (const std::string& report : {dir / "r1", dir / "r2", dir / "r3", again}) reports += " " + ShellQuote(report);
    const ShellResult documents =
        RunShell("jq -r 'select(.summary | not) | select(.status == \"converted\" or .status == \"skipped\") | "
                 ".input'" + reports + " | sort -u | wc -l");
    ASSERT_EQ(documents.exitCode, 0) << documents.err;
    EXPECT_EQ(std::stoi(documents.out), kDocuments);
    const ShellResult summaries = RunShell("jq -s 'map(select(.summary)) | length'" + reports);
    ASSERT_EQ(summaries.exitCode, 0) << summaries.err;
    EXPECT_EQ(std::stoi(summaries.out), kShards);
    // The killed run's report holds only whole lines, each readable.
    EXPECT_EQ(RunShell("jq -e . " + ShellQuote(firstReport) + " >/dev/null").exitCode, 0);
}
#endif

}  // namespace
