// Real documents written by other programs, when the shared corpus is present.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/end_to_end_support.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

const fs::path kCorpus = fs::path(XPSCONV_SOURCE_DIR) / "../shared/corpus";

std::vector<fs::path> Documents(const fs::path& folder, bool recursive) {
    std::vector<fs::path> documents;
    std::error_code error;
    if (recursive) {
        for (const auto& entry : fs::recursive_directory_iterator(folder, error))
            if (entry.path().extension() == ".xps") documents.push_back(entry.path());
    } else {
        for (const auto& entry : fs::directory_iterator(folder, error))
            if (entry.path().extension() == ".xps") documents.push_back(entry.path());
    }
    std::sort(documents.begin(), documents.end());
    return documents;
}

// The page count as MuPDF's own tool reports it.
int PagesByMupdf(const fs::path& document, const TempDir& dir) {
    const std::string script = dir / "count.js";
    WriteFile(script, "print(new Document(scriptArgs[0]).countPages())\n");
    const ShellResult result = RunShell("mutool run " + ShellQuote(script) + " " + ShellQuote(document.string()));
    return result.exitCode == 0 ? std::atoi(result.out.c_str()) : -1;
}

TEST(CorpusEndToEnd, EveryMinimumBarDocumentConvertsWithAllItsPages) {
    const std::vector<fs::path> documents = Documents(kCorpus / "minbar", false);
    if (documents.empty()) GTEST_SKIP() << "corpus not present at " << kCorpus;
    REQUIRE_TOOLS("mutool", "pdfinfo");
    TempDir dir;
    std::string inputs;
    for (const fs::path& document : documents) inputs += " -i " + ArgQuote(Native(document.string()));
    ShellResult result = RunConverter(dir.str(), inputs + " -t pdf -o pdf");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    result = RunConverter(dir.str(), inputs + " -t png -o png");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const fs::path& document : documents) {
        const std::string base = document.stem().string();
        const int pages = PagesByMupdf(document, dir);
        EXPECT_GT(pages, 0) << base;
        const std::string info = RunShell("pdfinfo " + ShellQuote(dir / ("pdf/" + base + ".pdf"))).out;
        EXPECT_NE(info.find("Pages:           " + std::to_string(pages) + "\n"), std::string::npos)
            << base << ": " << info;
        for (int page = 1; page <= pages; ++page) {
            char name[64];
            std::snprintf(name, sizeof(name), "png/%s_%03d.png", base.c_str(), page);
            EXPECT_TRUE(fs::exists(dir / name)) << name;
        }
    }
}

// Normalised RMSE between two images as ImageMagick measures it (the first one turned to its
// displayed orientation); -1 when it cannot.
double Difference(const std::string& a, const std::string& b) {
    const std::string upright = a + ".upright.png";
    RunShell(ImageMagick("convert") + " " + ShellQuote(a + "[0]") + " -auto-orient " + ShellQuote(upright));
    const ShellResult result =
        RunShell(ImageMagick("compare") + " -metric RMSE " + ShellQuote(upright) + " " + ShellQuote(b) + " null:");
    std::remove(upright.c_str());
    const size_t open = result.err.find('(');
    return open == std::string::npos ? -1 : std::atof(result.err.c_str() + open + 1);
}

struct RasterFormat {
    const char* type;
    const char* reference;  // the BMP output of the same depth
    double tolerance;       // normalised RMSE
};

void PrintTo(const RasterFormat& format, std::ostream* out) { *out << format.type; }

// Three groups, so that each stays well inside a test's time limit on a slow machine and the
// groups run side by side.
class CorpusRasterFormats : public ::testing::TestWithParam<std::vector<RasterFormat>> {};

TEST_P(CorpusRasterFormats, EveryRasterFormatShowsTheBmpPixels) {
    const std::vector<fs::path> documents = Documents(kCorpus / "minbar", false);
    if (documents.empty()) GTEST_SKIP() << "corpus not present at " << kCorpus;
    REQUIRE_TOOLS(ImageMagick("compare"));
    TempDir dir;
    std::string inputs;
    for (const fs::path& document : documents) inputs += " -i " + ArgQuote(Native(document.string()));
    const std::string resolution = " -mx 150 -my 150";
    std::set<std::string> references;
    for (const RasterFormat& format : GetParam()) references.insert(format.reference);
    if (references.count("bmp24")) {
        ASSERT_EQ(RunConverter(dir.str(), inputs + resolution + " -t bmp -o bmp24").exitCode, 0);
    }
    if (references.count("bmp8")) {
        ASSERT_EQ(RunConverter(dir.str(), inputs + resolution + " -t bmp -mb 8 -o bmp8").exitCode, 0);
    }
    for (const RasterFormat& format : GetParam()) {
        const ShellResult result =
            RunConverter(dir.str(), inputs + resolution + " -t " + format.type + " -o " + format.type);
        ASSERT_EQ(result.exitCode, 0) << format.type << ": " << result.err;
        for (const std::string& name : ListNames(dir / format.reference)) {
            const std::string base = name.substr(0, name.size() - 4);
            const std::string output = dir / (std::string(format.type) + "/" + base + "." + format.type);
            const double difference = Difference(output, dir / (std::string(format.reference) + "/" + name));
            EXPECT_GE(difference, 0) << output;
            EXPECT_LE(difference, format.tolerance) << output;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Groups, CorpusRasterFormats,
    ::testing::Values(std::vector<RasterFormat>{{"png", "bmp24", 0}, {"tif", "bmp24", 0.03}, {"pcx", "bmp24", 0}},
                      std::vector<RasterFormat>{{"tga", "bmp24", 0}, {"ras", "bmp24", 0}, {"jpg", "bmp24", 0.05}},
                      std::vector<RasterFormat>{{"jp2", "bmp24", 0.05}, {"jpc", "bmp24", 0.05}, {"gif", "bmp8", 0}}),
    [](const ::testing::TestParamInfo<std::vector<RasterFormat>>& info) {
        std::string name;
        for (const RasterFormat& format : info.param) name += format.type;
        return name;
    });

TEST(CorpusEndToEnd, BmpPagesMatchMupdfsOwnRendering) {
    const std::vector<fs::path> documents = Documents(kCorpus / "minbar", false);
    if (documents.empty()) GTEST_SKIP() << "corpus not present at " << kCorpus;
    REQUIRE_TOOLS(ImageMagick("compare"), "mutool");
    TempDir dir;
    std::string inputs;
    for (const fs::path& document : documents) inputs += " -i " + ArgQuote(Native(document.string()));
    ASSERT_EQ(RunConverter(dir.str(), inputs + " -mx 150 -my 150 -t bmp -o bmp").exitCode, 0);
    for (const fs::path& document : documents) {
        const std::string base = document.stem().string();
        RunShell("mutool draw -q -r 150 -o " + ShellQuote(dir / (base + "_ref_%03d.png")) + " " +
                 ShellQuote(document.string()));
        for (int page = 1;; ++page) {
            char suffix[32];
            std::snprintf(suffix, sizeof(suffix), "_%03d", page);
            const std::string reference = dir / (base + "_ref" + suffix + ".png");
            if (!fs::exists(reference)) {
                EXPECT_GT(page, 1) << base << ": MuPDF drew nothing";
                break;
            }
            const double difference = Difference(dir / ("bmp/" + base + suffix + ".bmp"), reference);
            EXPECT_GE(difference, 0) << base << suffix;
            EXPECT_LE(difference, 0.01) << base << suffix;
        }
    }
}

// Metafiles embed the page as a bitmap; independent readers draw them back. Their drawings are
// compared with the BMP output at a quarter of the size, where one-pixel shifts of the readers'
// scaling no longer count.
TEST(CorpusEndToEnd, MetafilesShowTheBmpPixels) {
    const std::vector<fs::path> documents = Documents(kCorpus / "minbar", false);
    if (documents.empty()) GTEST_SKIP() << "corpus not present at " << kCorpus;
    REQUIRE_TOOLS(ImageMagick("compare"), "emf2svg-conv", "rsvg-convert", "wmf2gd");
    REQUIRE_FONT("Helvetica");
    TempDir dir;
    std::string inputs;
    for (const fs::path& document : documents) inputs += " -i " + ArgQuote(Native(document.string()));
    for (const std::string type : {"bmp", "emf", "wmf"})
        ASSERT_EQ(RunConverter(dir.str(), inputs + " -mx 150 -my 150 -t " + type + " -o " + type).exitCode, 0);
    const std::string convert = ImageMagick("convert");
    for (const std::string& name : ListNames(dir / "bmp")) {
        const std::string base = name.substr(0, name.size() - 4);
        const std::string bmp = dir / ("bmp/" + name);
        const std::string size = RunShell(ImageMagick("identify") + " -format %wx%h " + ShellQuote(bmp)).out;
        const std::string svg = dir / (base + ".svg");
        const std::string emfPng = dir / (base + ".emf.png");
        const std::string wmfPng = dir / (base + ".wmf.png");
        RunShell("emf2svg-conv -i " + ShellQuote(dir / ("emf/" + base + ".emf")) + " -o " + ShellQuote(svg) +
                 " && rsvg-convert " + ShellQuote(svg) + " -o " + ShellQuote(emfPng));
        const std::string bounds = size.substr(0, size.find('x'));
        RunShell("wmf2gd -t png --maxwidth=" + bounds + " --maxheight=" + size.substr(size.find('x') + 1) +
                 " --maxsize -o " + ShellQuote(wmfPng) + " " + ShellQuote(dir / ("wmf/" + base + ".wmf")));
        const std::string reference = dir / (base + ".ref.png");
        RunShell(convert + " " + ShellQuote(bmp) + " -resize 25% " + ShellQuote(reference));
        for (const std::string& drawn : {emfPng, wmfPng}) {
            const std::string small = drawn + ".small.png";
            RunShell(convert + " " + ShellQuote(drawn) + " -resize " + size + "! -resize 25% " + ShellQuote(small));
            const double difference = Difference(small, reference);
            EXPECT_GE(difference, 0) << drawn;
            EXPECT_LE(difference, 0.06) << drawn;
        }
    }
}

TEST(CorpusEndToEnd, ViolationsNeverCrashHangOrLeaveFilesBehind) {
    const std::vector<fs::path> documents = Documents(kCorpus / "violations", true);
    if (documents.empty()) GTEST_SKIP() << "corpus not present at " << kCorpus;
    REQUIRE_TOOLS("qpdf");
    TempDir dir;
    const std::string tmp = dir / "tmp";
    fs::create_directories(tmp);
    // One folder of them all, each under a name of its own: named one by one they would pass
    // the command line's capacity, and documents of one name would clash.
    fs::create_directories(dir / "violations");
    for (size_t i = 0; i < documents.size(); ++i) {
        fs::copy_file(documents[i], dir / ("violations/" + std::to_string(i) + "-" + documents[i].filename().string()));
    }
    const std::string inputs = "-i violations";
    for (const std::string type : {"pdf", "png"}) {
        const ShellResult result = RunConverter(dir.str(), inputs + " -t " + type + " -o " + type, tmp);
        // Some of these documents are unreadable: the run reports that, and it must not crash
        // (128 + signal) or be stopped by the time limit (124).
        EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << type << " exit " << result.exitCode;
        for (const std::string& name : ListNames(dir / type)) {
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << "temporary file left: " << name;
            EXPECT_GT(fs::file_size(dir / (type + "/" + name)), 0u) << name;
        }
        if (type == "pdf") {
            for (const std::string& name : ListNames(dir / type)) {
                // Every PDF left behind is whole: qpdf reads it without having to repair it.
                const ShellResult check = RunShell("qpdf --check " + ShellQuote(dir / ("pdf/" + name)));
                EXPECT_NE(check.exitCode, 2) << name << ": " << check.out;
            }
        }
    }
    EXPECT_EQ(LeftInTemporaryFolder(tmp), std::vector<std::string>{}) << "page folders left behind";
}

}  // namespace
