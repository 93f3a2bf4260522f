// A long document converted to a slow format: the engine renders far faster than the pages are
// encoded, yet the temporary folder never holds more page files than the backlog the converter
// gives the engine, and the outputs are byte for byte those of converting the pages one by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "app/command_line_parser.h"
#include "app/end_to_end_support.h"
#include "driver/page_images.h"
#include "driver/path_parts.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

constexpr int kPages = 12;

void WriteLongDocument(const std::string& path) {
    xpsfixture::XpsDocumentBuilder doc;
    for (int i = 0; i < kPages; ++i) {
        const int page = doc.AddPage(480, 360);
        doc.AddLinearGradient(page, 0, 0, 480, 360, 0x10A0F0,
                              0xF0A010 ^ static_cast<uint32_t>(i * 0x0A0B0C));
        doc.AddRect(page, 20 + 15 * i, 30, 120, 80,
                    0x102030u * static_cast<uint32_t>(i + 1) & 0xFFFFFFu);
        doc.AddText(page, 20, 300, 24, "Page " + std::to_string(i + 1));
    }
    doc.WriteTo(path);
}

// Counts the files below folder every few milliseconds until stopped; keeps the largest count.
// A sample late under load can only miss a peak, never invent one.
class FolderSampler {
  public:
    explicit FolderSampler(std::string folder)
        : folder_(std::move(folder)), thread_([this] { Run(); }) {}
    ~FolderSampler() { Stop(); }
    int Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return most_;
    }

  private:
    void Run() {
        while (!stop_) {
            int files = 0;
            std::error_code error;
            // The page folder comes and goes, and files vanish while they are listed.
            for (fs::recursive_directory_iterator it(folder_, error), end; !error && it != end;
                 it.increment(error)) {
                if (it->is_regular_file(error)) ++files;
            }
            most_ = std::max(most_.load(), files);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::string folder_;
    std::atomic<bool> stop_{false};
    std::atomic<int> most_{0};
    std::thread thread_;
};

TEST(PageBacklogEndToEnd, SlowFormatNeverFillsTheTemporaryFolder) {
    TempDir dir;
    WriteLongDocument(dir / "doc.xps");
    fs::create_directories(dir / "tmp");
    const std::string arguments = "-mx 300 -my 300 -t jp2";

    FolderSampler sampler(dir / "tmp");
    const ShellResult run =
        RunConverter(dir.str(), "-i doc.xps " + arguments + " -o out", dir / "tmp");
    const int most = sampler.Stop();
    ASSERT_EQ(run.exitCode, 0) << run.err;

    // The converter's page workers, and the pages the engine may have ready beyond them.
    const int workers = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const int backlog = workers + 2;
    EXPECT_LE(most, backlog);
    // The sampler saw the folder at work: a page file waits there through each page's encoding,
    // seconds in all, so however slow the machine some sample falls inside.
    EXPECT_GE(most, 1);
    EXPECT_EQ(LeftInTemporaryFolder(dir / "tmp"), std::vector<std::string>{});

    // The same pages rendered by the engine alone, converted one after the other here.
    fs::create_directories(dir / "pages");
    fs::create_directories(dir / "sequential");
    ASSERT_EQ(RunProgram(InFolder(BuiltBinDir(), "proc.dll"),
                         "-sDEVICE=bmp16m -r300x300 " + ArgQuote("-sOutputFile=" + Native(dir / "pages/doc_%03d.bmp")) +
                             " " + ArgQuote(dir / "doc.xps"))
                  .exitCode,
              0);
    const std::vector<std::string> pages = ListNames(dir / "pages");
    ASSERT_EQ(pages.size(), static_cast<size_t>(kPages));
    Settings settings;
    ResetSettings(settings);
    InputList unused;
    ASSERT_EQ(ParseCommandLine(arguments, settings, unused), 1);
    NormaliseConverterSettings(settings);
    for (const std::string& page : pages) {
        const ImgConvHandle handle = ImgConvCreate();
        const std::string output =
            dir / ("sequential/" + SplitPath(page).baseName + settings.imageExtension);
        ImgConvSetOption(handle, kOptionOutputPath, output.c_str(), 0, 0);
        ImgConvAddFile(handle, (dir / ("pages/" + page)).c_str());
        SendConverterOptions(handle, settings);
        EXPECT_EQ(ImgConvConvert(handle), 1) << page;
        EXPECT_EQ(ImgConvDestroy(handle), 1) << page;
    }
    const std::vector<std::string> outputs = ListNames(dir / "out");
    ASSERT_EQ(outputs.size(), static_cast<size_t>(kPages));
    ASSERT_EQ(outputs, ListNames(dir / "sequential"));
    for (const std::string& name : outputs) {
        EXPECT_EQ(ReadFile(dir / ("out/" + name)), ReadFile(dir / ("sequential/" + name))) << name;
    }
}

}  // namespace
