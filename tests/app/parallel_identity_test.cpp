// Pages are converted on several threads while the engine still renders: the files must be
// byte for byte those that converting the rendered pages one after the other gives.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/end_to_end_support.h"
#include "app/command_line_parser.h"
#include "driver/page_images.h"
#include "driver/path_parts.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

void WriteSixPageDocument(const std::string& path) {
    xpsfixture::XpsDocumentBuilder doc;
    for (int i = 0; i < 6; ++i) {
        const int page = doc.AddPage(400, 300);
        doc.AddRect(page, 20 + 10 * i, 30, 120, 80, 0x102030 * static_cast<uint32_t>(i + 1));
        doc.AddRect(page, 200, 150 - 10 * i, 90, 60, 0xE0C040);
        doc.AddText(page, 20, 250, 20, "Page " + std::to_string(i + 1));
    }
    doc.WriteTo(path);
}

TEST(ParallelIdentity, EveryFormatWritesTheSequentialBytes) {
    TempDir dir;
    WriteSixPageDocument(dir / "doc.xps");
    // The rendered pages, by the engine alone.
    fs::create_directories(dir.path() / "pages");
    ASSERT_EQ(RunProgram(InFolder(BuiltBinDir(), "proc.dll"),
                         "-sDEVICE=bmp16m -r110x90 " + ArgQuote("-sOutputFile=" + Native(dir / "pages/doc_%03d.bmp")) +
                             " " + ArgQuote(dir / "doc.xps"))
                  .exitCode,
              0);
    const std::vector<std::string> pages = ListNames(dir / "pages");
    ASSERT_EQ(pages.size(), 6u);

    const std::pair<const char*, const char*> cases[] = {
        {"bmp", "-mb 4"}, {"png", "-mb 8"}, {"jpg", ""},     {"gif", ""},         {"tif", "-mb 1"},
        {"tif", ""},      {"pcx", "-mb 8"}, {"tga", "-mb 8"}, {"jp2", "-mq 50"}, {"jpc", "-mb 7"},
        {"ras", ""},      {"emf", ""},      {"wmf", "-mg 90"}, {"png", "-ms 200x150 -mg 270"},
        // Multi-page TIFF: pages encoded on several threads, appended in page order.
        {"tif", "-mm -mc lzw"}, {"tif", "-mm"}, {"tif", "-mm -mb 1"}, {"tif", "-mm -mb 8"},
        {"tif", "-mm -mb 7 -mc jpg -mg 90"}};
    int index = 0;
    for (const auto& [type, options] : cases) {
        const std::string label = std::string(type) + " " + options;
        const std::string parallel = dir / ("parallel-" + std::to_string(index));
        const std::string sequential = dir / ("sequential-" + std::to_string(index));
        ++index;
        fs::create_directories(sequential);
        const ShellResult result = RunConverter(
            dir.str(), "-i doc.xps -mx 110 -my 90 -t " + std::string(type) + " " + options + " -o " + ArgQuote(parallel));
        ASSERT_EQ(result.exitCode, 0) << label << ": " << result.err;

        // The same settings, one page after the other, in this process.
        Settings settings;
        ResetSettings(settings);
        InputList unused;
        ASSERT_EQ(ParseCommandLine("-mx 110 -my 90 -t " + std::string(type) + " " + options, settings, unused), 1);
        NormaliseConverterSettings(settings);
        if (settings.multiPageTiff == 1) {
            const ImgConvHandle handle = ImgConvCreate();
            const std::string output = sequential + "/doc.tif";
            ImgConvSetOption(handle, kOptionMultiPagePath, output.c_str(), 0, 0);
            ImgConvSetOption(handle, kOptionMultiPage, nullptr, 1, 0);
            for (const std::string& page : pages) ImgConvAddFile(handle, (dir / ("pages/" + page)).c_str());
            SendConverterOptions(handle, settings);
            EXPECT_EQ(ImgConvConvert(handle), 1) << label;
            EXPECT_EQ(ImgConvDestroy(handle), 1) << label;
        }
        for (const std::string& page : settings.multiPageTiff == 1 ? std::vector<std::string>{} : pages) {
            const ImgConvHandle handle = ImgConvCreate();
            const std::string output = sequential + "/" + SplitPath(page).baseName + settings.imageExtension;
            ImgConvSetOption(handle, kOptionOutputPath, output.c_str(), 0, 0);
            ImgConvAddFile(handle, (dir / ("pages/" + page)).c_str());
            SendConverterOptions(handle, settings);
            EXPECT_EQ(ImgConvConvert(handle), 1) << label;
            ImgConvDestroy(handle);
        }
        const std::vector<std::string> names = ListNames(parallel);
        ASSERT_EQ(names, ListNames(sequential)) << label;
        for (const std::string& name : names)
            EXPECT_TRUE(ReadFile(parallel + "/" + name) == ReadFile(sequential + "/" + name))
                << label << " " << name << RunShell("cmp -l " + ShellQuote(parallel + "/" + name) + " " + ShellQuote(sequential + "/" + name) + " | head -5").out;
    }
}

}  // namespace
