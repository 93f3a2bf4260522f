// Documents converted several at a time: the same files as one at a time, each document's lines
// in one block, a report a JSON reader takes, and a second run that skips what is complete.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "driver/batch_plan.h"
#include "driver/conversions.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "support/xps_fixture.h"

namespace fs = std::filesystem;

namespace {

// The converter finds its engine beside the running program: this test's, here. Copied under a
// name of its own and renamed, so that test processes running at once never see half a file.
void PlaceEngineBesideTest() {
    const fs::path target = platform::ProgramFolder() + "proc.dll";
    const fs::path source = fs::path(BuiltBinDir()) / "proc.dll";
    std::error_code error;
    if (fs::exists(target, error) && fs::file_size(target, error) == fs::file_size(source, error)) return;
    const fs::path part = target.string() + "." + std::to_string(platform::CurrentProcessId());
    fs::copy_file(source, part, fs::copy_options::overwrite_existing, error);
    fs::rename(part, target, error);
    fs::remove(part, error);
}

void WriteTwoPageDocument(const std::string& path, int shade) {
    xpsfixture::XpsDocumentBuilder doc;
    for (int i = 0; i < 2; ++i) {
        const int page = doc.AddPage(200, 150);
        doc.AddRect(page, 10 + 20 * i, 20, 60 + shade, 40, 0x203040u * static_cast<uint32_t>(shade + i + 1));
        doc.AddText(page, 10, 120, 14, "Doc " + std::to_string(shade) + " page " + std::to_string(i + 1));
    }
    doc.WriteTo(path);
}

std::map<std::string, std::string> FilesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = ReadFile(entry.path().string());
    return files;
}

std::vector<nlohmann::json> ReportLines(const std::string& path) {
    std::vector<nlohmann::json> lines;
    std::istringstream text(ReadFile(path));
    for (std::string line; std::getline(text, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

class BatchConversion : public ::testing::Test {
  protected:
    void SetUp() override {
        PlaceEngineBesideTest();
        for (int i = 0; i < 4; ++i) WriteTwoPageDocument(dir / ("doc" + std::to_string(i) + ".xps"), i);
        for (int i = 0; i < 4; ++i) files.push_back({dir / ("doc" + std::to_string(i) + ".xps")});
    }

    ConversionOutcome Run(Settings settings, const std::string& output) {
        settings.outputFolder = output;
        return RunConversions(settings, files, PostProcessor{});
    }

    Settings Images(int jobs, const char* extension = ".png", int type = kOutputPng) {
        Settings settings;
        ResetSettings(settings);
        settings.imageType = type;
        settings.imageExtension = extension;
        settings.resolutionX = settings.resolutionY = 96;
        settings.jobs = jobs;
        settings.quiet = true;
        return settings;
    }

    TempDir dir;
    FileList files;
};

TEST_F(BatchConversion, SeveralAtOnceWriteTheBytesOfOneAtATime) {
    Settings pdf = Images(4);
    pdf.outputPdf = 1;
    struct Case {
        const char* name;
        Settings settings;
        size_t files;
    };
    Settings tiff = Images(4, ".tif", kOutputTiff);
    tiff.multiPageTiff = 1;
    for (const Case& c : {Case{"png", Images(4), 8}, Case{"tiff", tiff, 4}, Case{"pdf", pdf, 4}}) {
        Settings alone = c.settings;
        alone.jobs = 1;
        const ConversionOutcome sequential = Run(alone, dir / (std::string(c.name) + "-1"));
        Settings together = c.settings;
        together.reportPath = dir / (std::string(c.name) + ".jsonl");
        const ConversionOutcome parallel = Run(together, dir / (std::string(c.name) + "-4"));
        EXPECT_EQ(sequential.converted, 4) << c.name;
        EXPECT_EQ(parallel.converted, 4) << c.name;
        EXPECT_EQ(parallel.failedDocuments, 0) << c.name;
        const auto expected = FilesIn(dir / (std::string(c.name) + "-1"));
        EXPECT_EQ(expected.size(), c.files) << c.name;
        EXPECT_TRUE(FilesIn(dir / (std::string(c.name) + "-4")) == expected) << c.name;

        // One object per document, then the totals; every output listed is a file written.
        const std::vector<nlohmann::json> lines = ReportLines(together.reportPath);
        ASSERT_EQ(lines.size(), 5u) << c.name;
        size_t outputs = 0;
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(lines[i]["status"], "converted") << lines[i];
            EXPECT_EQ(lines[i]["pages"], 2) << lines[i];
            for (const auto& output : lines[i]["outputs"]) EXPECT_TRUE(fs::exists(output.get<std::string>())) << output;
            outputs += lines[i]["outputs"].size();
        }
        EXPECT_EQ(outputs, c.files) << c.name;
        EXPECT_EQ(lines[4]["documents"], 4) << lines[4];
        EXPECT_EQ(lines[4]["converted"], 4) << lines[4];
        EXPECT_EQ(lines[4]["files"], c.files) << lines[4];
    }
}

// A document is skipped only when all its outputs exist; one that lost a page (as a run cut off
// half-way leaves it) is converted again, to the same bytes.
TEST_F(BatchConversion, SkipExistingSkipsCompleteDocumentsAndRedoesCutOffOnes) {
    const std::string out = dir / "out";
    ASSERT_EQ(Run(Images(2), out).converted, 4);
    const auto complete = FilesIn(out);
    ASSERT_EQ(complete.size(), 8u);
    fs::remove(fs::path(out) / "doc2_002.png");

    Settings again = Images(2);
    again.skipExisting = true;
    again.reportPath = dir / "again.jsonl";
    const ConversionOutcome outcome = Run(again, out);
    EXPECT_EQ(outcome.skipped, 3);
    EXPECT_EQ(outcome.converted, 1);
    EXPECT_TRUE(FilesIn(out) == complete);
    for (const nlohmann::json& line : ReportLines(again.reportPath)) {
        if (line.contains("summary")) continue;
        const bool redone = line["input"].get<std::string>().find("doc2") != std::string::npos;
        EXPECT_EQ(line["status"], redone ? "converted" : "skipped") << line;
        EXPECT_EQ(line["pages"], 2) << line;  // counted by the engine when skipped
        EXPECT_EQ(line["outputs"].size(), 2u) << line;
    }
}

// Each document's lines (the engine's and the converter's) come as one block, whatever the
// other documents converted at the same time say.
TEST_F(BatchConversion, EachDocumentsLinesComeAsOneBlock) {
    files.clear();
    for (int i = 0; i < 8; ++i) {
        const std::string broken = dir / ("broken" + std::to_string(i) + ".xps");
        WriteFile(broken, "not a package " + std::to_string(i));
        files.push_back({broken});
    }
    Settings settings = Images(4);
    settings.quiet = false;
    ::testing::internal::CaptureStderr();
    const ConversionOutcome outcome = Run(settings, dir / "out");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(outcome.failed, 8);
    std::vector<std::string> lines;
    std::istringstream text(err);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 17u) << err;  // two lines per document and the summary
    for (size_t i = 0; i < 16; i += 2) {
        const size_t at = lines[i].find("broken");
        ASSERT_NE(at, std::string::npos) << err;
        const std::string name = lines[i].substr(at, 11);  // "brokenN.xps"
        EXPECT_EQ(lines[i].rfind("proc.dll: ", 0), 0u) << err;
        EXPECT_EQ(lines[i + 1].rfind("xpsconv: ", 0), 0u) << err;
        EXPECT_NE(lines[i + 1].find(name), std::string::npos) << err;
    }
    EXPECT_EQ(lines[16], "8 documents: 0 converted, 8 failed; 0 files in " + lines[16].substr(lines[16].find(" in ") + 4))
        << err;
}

// N documents at once share the processors and the memory budget: no engine gets them all,
// and no page image's limit falls below the image layer's own.
TEST(BatchPlanTest, SharesTheMachineBetweenDocuments) {
    const BatchPlan many = PlanBatch(0, 40, 2, nullptr, 8ull << 30);
    EXPECT_EQ(many.workers, 2u);
    const DocumentShare each = ShareFor(many, 2);
    EXPECT_EQ(each.threads, 1u);
    EXPECT_EQ(each.pageWorkers, 1u);
    EXPECT_EQ(each.engineEnvironment,
              (std::vector<std::string>{"XPSCONV_ENGINE_THREADS=1", "XPSCONV_ENGINE_MEMORY=2048"}));
    EXPECT_EQ(each.imageMemoryMiB, 2048);
    // The last document running alone gets every processor.
    EXPECT_EQ(ShareFor(many, 1).threads, 2u);
    // One document: one worker, whatever was asked; a small budget keeps the image floor.
    const BatchPlan one = PlanBatch(4, 1, 2, "300", 0);
    EXPECT_EQ(one.workers, 1u);
    EXPECT_EQ(ShareFor(one, 1).imageMemoryMiB, 300);
    EXPECT_EQ(ShareFor(PlanBatch(8, 40, 16, "1000", 0), 8).imageMemoryMiB, 256);
    EXPECT_EQ(ShareFor(PlanBatch(8, 40, 16, "1000", 0), 8).pageWorkers, 2u);
}

}  // namespace
