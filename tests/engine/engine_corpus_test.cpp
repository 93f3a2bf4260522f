// Real XPS files from the shared corpus (skipped when it is absent): the minimum-bar documents
// convert with every page, and the rule-breaking documents neither crash nor hang the engine
// and leave no temporary file behind.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine_test_support.h"

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

const std::string kCorpus = SourceDir() + "/../shared/corpus";

std::vector<std::string> XpsFilesBelow(const std::string& folder, bool recursive) {
    std::vector<std::string> files;
    std::error_code error;
    if (recursive) {
        for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
            if (entry.is_regular_file()) files.push_back(entry.path().string());
        }
    } else {
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            if (entry.is_regular_file() && entry.path().extension() == ".xps") {
                files.push_back(entry.path().string());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The page count as MuPDF's own tool reports it.
int ReferencePageCount(const std::string& document, const TempDir& dir) {
    std::string script = dir / "count.js";
    WriteFile(script, "print(new Document(scriptArgs[0]).countPages())\n");
    ShellResult r = RunShell("mutool run " + ShellQuote(script) + " " + ShellQuote(document));
    return r.exitCode == 0 ? std::atoi(r.out.c_str()) : -1;
}

TEST(EngineCorpusTest, MinimumBarDocumentsConvertWithEveryPage) {
    std::vector<std::string> documents = XpsFilesBelow(kCorpus + "/minbar", false);
    if (documents.empty()) GTEST_SKIP() << "corpus folder " << kCorpus << "/minbar is absent";
    REQUIRE_TOOLS("mutool", "pdfinfo");
    TempDir dir;
    for (const std::string& document : documents) {
        SCOPED_TRACE(document);
        int pages = ReferencePageCount(document, dir);
        ASSERT_GT(pages, 0);
        std::string pdf = dir / "out.pdf";
        ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, document});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        ShellResult info = RunShell("pdfinfo " + ShellQuote(pdf));
        EXPECT_NE(info.out.find("Pages:           " + std::to_string(pages) + "\n"),
                  std::string::npos)
            << info.out;
        ShellResult bmp = RunEngine(
            {"-sDEVICE=bmp16m", "-r36x36", "-sOutputFile=" + (dir / "page_%03d.bmp"), document});
        EXPECT_EQ(bmp.exitCode, 0) << bmp.err;
        int bitmaps = 0;
        for (const std::string& name : ListNames(dir.str())) {
            if (name.rfind("page_", 0) == 0) {
                ++bitmaps;
                fs::remove(dir / name);
            }
        }
        EXPECT_EQ(bitmaps, pages);
    }
}

TEST(EngineCorpusTest, RuleBreakingDocumentsNeitherCrashNorHang) {
    std::vector<std::string> documents = XpsFilesBelow(kCorpus + "/violations", true);
    if (documents.empty()) GTEST_SKIP() << "corpus folder " << kCorpus << "/violations is absent";
    TempDir dir;
    int index = 0;
    for (const std::string& document : documents) {
        SCOPED_TRACE(document);
        std::string stem = dir / std::to_string(++index);
        ShellResult pdf =
            RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + stem + ".pdf", document}, 60);
        // 0 written, 1 written with some page failed, 2 nothing written: the document is
        // unreadable.
        EXPECT_TRUE(pdf.exitCode >= 0 && pdf.exitCode <= 2) << "exit " << pdf.exitCode;
        EXPECT_EQ(fs::exists(stem + ".pdf"), pdf.exitCode != 2) << "exit " << pdf.exitCode;
        ShellResult bmp = RunEngine(
            {"-sDEVICE=bmp16m", "-r24x24", "-sOutputFile=" + stem + "_%03d.bmp", document}, 60);
        EXPECT_TRUE(bmp.exitCode >= 0 && bmp.exitCode <= 2) << "exit " << bmp.exitCode;
        if (bmp.exitCode == 2) {
            EXPECT_FALSE(fs::exists(stem + "_001.bmp"));
        }
        // Whatever the exit, both runs agree on whether the document can be read.
        EXPECT_EQ(pdf.exitCode == 2, bmp.exitCode == 2);
        EXPECT_EQ(LeftoverTemporaries(dir.str()), std::vector<std::string>{});
    }
}

}  // namespace
