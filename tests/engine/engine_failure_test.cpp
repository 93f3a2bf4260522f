// Bad input and bad arguments: exit status 2 when nothing could be written because the
// document cannot be read or the arguments are unusable, 1 when the output was written but a
// page failed or the output could not be written; one line per error, and no output file (nor
// a temporary one) left behind.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "engine_test_support.h"
#include "support/xps_zip.h"

namespace {

using namespace enginetest;

int ErrorLineCount(const std::string& err) {
    return static_cast<int>(std::count(err.begin(), err.end(), '\n'));
}

class EngineFailureTest : public ::testing::Test {
  protected:
    TempDir dir_;
};

TEST_F(EngineFailureTest, MissingInputWritesNothing) {
    for (const char* device : {"-sDEVICE=pdfwrite", "-sDEVICE=bmp16m"}) {
        ShellResult run = RunEngine(
            {device, "-sOutputFile=" + (dir_ / "out_%03d.x"), "-r72x72", dir_ / "absent.xps"});
        EXPECT_EQ(run.exitCode, 2) << device;
        EXPECT_EQ(ErrorLineCount(run.err), 1) << run.err;
        EXPECT_NE(run.err.find("absent.xps"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(ListNames(dir_.str()).empty());
}

TEST_F(EngineFailureTest, InputThatIsNotAPackageWritesNothing) {
    WriteFile(dir_ / "text.xps", "This is not a ZIP package at all.\n");
    std::vector<uint8_t> good;
    {
        xpsfixture::XpsDocumentBuilder doc;
        doc.AddRect(doc.AddPage(96, 96), 0, 0, 48, 48, 0xFF0000);
        good = doc.Build();
    }
    // The same package cut short: the central directory is gone.
    WriteFileBytes(dir_ / "truncated.xps",
                   std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2));
    WriteFile(dir_ / "empty.xps", "");
    for (const char* input : {"text.xps", "truncated.xps", "empty.xps"}) {
        for (const char* device : {"-sDEVICE=pdfwrite", "-sDEVICE=bmp16m"}) {
            SCOPED_TRACE(std::string(input) + " " + device);
            ShellResult run =
                RunEngine({device, "-sOutputFile=" + (dir_ / "out_%03d.x"), dir_ / input});
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_GE(ErrorLineCount(run.err), 1);
        }
    }
    EXPECT_EQ(ListNames(dir_.str()),
              (std::vector<std::string>{"empty.xps", "text.xps", "truncated.xps"}));
}

// Packages that hold no readable document: a ZIP of other things, one whose start
// relationship names a document sequence that is not there, and a document of no pages.
TEST_F(EngineFailureTest, PackageWithoutAReadableDocumentWritesNothing) {
    {
        xpsfixture::ZipWriter zip;
        zip.Add("[Content_Types].xml",
                "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                "<Default Extension=\"txt\" ContentType=\"text/plain\" /></Types>");
        zip.Add("readme.txt", "An ordinary ZIP archive.\n");
        WriteFileBytes(dir_ / "plain.xps", zip.Finish());
    }
    {
        xpsfixture::ZipWriter zip;
        zip.Add("_rels/.rels",
                "<Relationships "
                "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"R0\" "
                "Type=\"http://schemas.microsoft.com/xps/2005/06/fixedrepresentation\" "
                "Target=\"/Missing.fdseq\" /></Relationships>");
        WriteFileBytes(dir_ / "nosequence.xps", zip.Finish());
    }
    ASSERT_TRUE(xpsfixture::XpsDocumentBuilder().WriteTo(dir_ / "nopages.xps"));
    for (const char* input : {"plain.xps", "nosequence.xps", "nopages.xps"}) {
        for (const char* device : {"-sDEVICE=pdfwrite", "-sDEVICE=bmp16m"}) {
            SCOPED_TRACE(std::string(input) + " " + device);
            ShellResult run =
                RunEngine({device, "-sOutputFile=" + (dir_ / "out_%03d.x"), dir_ / input});
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_EQ(ErrorLineCount(run.err), 1) << run.err;
            EXPECT_NE(run.err.find(dir_ / input), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "");
        }
    }
    EXPECT_EQ(ListNames(dir_.str()),
              (std::vector<std::string>{"nopages.xps", "nosequence.xps", "plain.xps"}));
}

TEST_F(EngineFailureTest, UnusableArgumentsAreReportedOneLineEach) {
    std::string doc = dir_ / "doc.xps";
    WriteTestDocument(doc);
    ShellResult noDevice = RunEngine({"-sOutputFile=" + (dir_ / "x.pdf"), doc});
    EXPECT_EQ(noDevice.exitCode, 2);
    EXPECT_EQ(ErrorLineCount(noDevice.err), 1) << noDevice.err;

    ShellResult badBoth = RunEngine({"-sDEVICE=bmp16m", "-rfast", "-dKeyLength=41", doc});
    EXPECT_EQ(badBoth.exitCode, 2);
    EXPECT_EQ(ErrorLineCount(badBoth.err), 3) << badBoth.err;  // resolution, key, no output

    ShellResult nothing = RunEngine({});
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_EQ(ListNames(dir_.str()), (std::vector<std::string>{"doc.xps"}));
}

TEST_F(EngineFailureTest, UnknownSwitchesAreIgnored) {
    std::string doc = dir_ / "doc.xps";
    WriteTestDocument(doc);
    ShellResult run = RunEngine({"-dNOPAUSE", "-dQUIET", "-sPAPERSIZE=a4", "-sDEVICE=pdfwrite",
                                 "-sOutputFile=" + (dir_ / "x.pdf"), doc});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
}

TEST_F(EngineFailureTest, UnwritableOutputLeavesNoTemporaryFile) {
    std::string doc = dir_ / "doc.xps";
    WriteTestDocument(doc);
    for (const char* device : {"-sDEVICE=pdfwrite", "-sDEVICE=bmp16m"}) {
        ShellResult run =
            RunEngine({device, "-sOutputFile=" + (dir_ / "no such folder/p_%03d.x"), doc});
        EXPECT_EQ(run.exitCode, 1) << device;
        EXPECT_EQ(ErrorLineCount(run.err), 1) << run.err;
    }
    EXPECT_EQ(ListNames(dir_.str()), (std::vector<std::string>{"doc.xps"}));
}

TEST_F(EngineFailureTest, AFailedRunKeepsAnOlderFileIntact) {
    WriteFile(dir_ / "out.pdf", "older contents");
    ShellResult run =
        RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + (dir_ / "out.pdf"), dir_ / "absent.xps"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(ReadFile(dir_ / "out.pdf"), "older contents");
}

TEST_F(EngineFailureTest, WithoutABacklogStandardInputIsNeverWaitedFor) {
    std::string doc = dir_ / "doc.xps";
    WriteTestDocument(doc);
    // Standard input is a pipe that stays open and never carries data: an engine that waited
    // for it would still be waiting when the limit ends the wait.
    BackgroundEngine engine(
        {"-sDEVICE=bmp16m", "-r36x36", "-sOutputFile=" + (dir_ / "p_%03d.bmp"), doc});
    ASSERT_TRUE(engine.Started());
    EXPECT_EQ(engine.Finish(30), 0) << engine.Output();
    EXPECT_EQ(engine.Output(), "page 1\npage 2\n");
    EXPECT_EQ(ListNames(dir_.str()),
              (std::vector<std::string>{"doc.xps", "p_001.bmp", "p_002.bmp"}));
}

// Hostile markup costs its own page and never the engine: a nesting far deeper than the
// library draws, geometry and glyph indices that the library would read for ever, and page
// sizes an output cannot hold are each reported on their page, blank or drawn as far as it
// went; every other page is written and the run exits 1.
TEST_F(EngineFailureTest, HostileMarkupFailsItsPageOnly) {
    xpsfixture::XpsDocumentBuilder doc;
    const int deep = doc.AddPage(96, 96);
    doc.AddRect(deep, 0, 0, 20, 20, 0xFF0000);
    std::string nested;
    // Named and linked, so that every walk of the engine's own goes down it.
    for (int i = 0; i < 30000; ++i) {
        nested += "<Canvas Name=\"c";
        nested += std::to_string(i);
        nested += "\" FixedPage.NavigateUri=\"#c0\">";
    }
    nested += "<Path Fill=\"#FF0000FF\" Data=\"M 0,0 L 9,0 9,9 Z\" />";
    for (int i = 0; i < 30000; ++i) nested += "</Canvas>";
    doc.AddMarkup(deep, nested);
    // Each endless form on a page of its own, then the sizes, then a good page.
    const std::vector<std::pair<std::string, std::string>> endless = {
        {"M 0,0 l 1", "Data=\"M 0,0 l 1\""},
        {"M 10,10 C 1 2", "Data=\"M 10,10 C 1 2\""},
        {"M 0,0 L 5,5 Z 1", "Data=\"M 0,0 L 5,5 Z 1\""},
    };
    for (const auto& [data, said] : endless) doc.AddPathData(doc.AddPage(96, 96), data, 0xFF0000);
    doc.AddGlyphs(doc.AddPage(96, 96), 10, 50, 20, "A", "-1");
    const std::vector<double> sizes = {1e30, 1e-30, 1e308, 0, -5, std::nan("")};
    for (double size : sizes) doc.AddRect(doc.AddPage(size, 96), 0, 0, 20, 20, 0xFF0000);
    doc.AddRect(doc.AddPage(96, 96), 0, 0, 20, 20, 0x0000FF);
    const std::string input = dir_ / "hostile.xps";
    ASSERT_TRUE(doc.WriteTo(input));
    const int pages = doc.PageCount();
    for (const char* device : {"-sDEVICE=pdfwrite", "-sDEVICE=bmp16m"}) {
        SCOPED_TRACE(device);
        const bool pdf = std::string(device) == "-sDEVICE=pdfwrite";
        const std::string output = pdf ? dir_ / "out.pdf" : dir_ / "p_%03d.bmp";
        ShellResult run =
            RunEngineOnSmallStack({device, "-r10x10", "-sOutputFile=" + output, input});
        EXPECT_EQ(run.exitCode, 1) << run.err;
        auto lineOf = [&](int page) {
            std::string start = "proc.dll: " + input + ": page ";
            start += std::to_string(page);
            start += ": ";
            for (const std::string& line : Lines(run.err)) {
                if (line.rfind(start, 0) == 0) return line.substr(start.size());
            }
            return std::string();
        };
        EXPECT_NE(lineOf(1), "") << run.err;
        for (size_t i = 0; i < endless.size(); ++i) {
            EXPECT_NE(lineOf(2 + static_cast<int>(i)).find(endless[i].second), std::string::npos)
                << run.err;
        }
        EXPECT_NE(lineOf(5).find("Indices=\"-1\""), std::string::npos) << run.err;
        for (size_t i = 0; i < sizes.size(); ++i) {
            EXPECT_NE(lineOf(6 + static_cast<int>(i)).find("page size"), std::string::npos)
                << run.err;
        }
        EXPECT_EQ(lineOf(pages), "") << run.err;
        if (pdf && UseTool("pdfinfo")) {
            ShellResult info = RunShell("pdfinfo " + ShellQuote(output));
            const std::string count = std::to_string(pages);
            EXPECT_NE(info.out.find("Pages:           " + count + "\n"), std::string::npos)
                << info.out;
        }
    }
    EXPECT_EQ(ListNames(dir_.str()).size(), 2u + pages);  // input, PDF, one image per page
}

}  // namespace

namespace {

using namespace enginetest;

// A page the reader cannot load is still written, blank, so that the pages after it keep
// their numbers; the run then reports the page and exits 1.
class FailingPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        xpsfixture::XpsDocumentBuilder doc;
        doc.AddRect(doc.AddPage(96, 192), 0, 0, 96, 96, 0xFF0000);
        doc.AddMissingPage(96, 192);
        doc.AddRect(doc.AddPage(192, 96), 0, 0, 96, 96, 0x0000FF);
        document_ = dir_ / "broken.xps";
        ASSERT_TRUE(doc.WriteTo(document_));
    }
    TempDir dir_;
    std::string document_;
};

TEST_F(FailingPageTest, BitmapsStayContiguous) {
    REQUIRE_TOOLS("convert");
    ShellResult run = RunEngine(
        {"-sDEVICE=bmp16m", "-r96x96", "-sOutputFile=" + (dir_ / "p_%03d.bmp"), document_});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("proc.dll: " + document_ + ": page 2: ", 0), 0u) << run.err;
    EXPECT_EQ(ListNames(dir_.str()),
              (std::vector<std::string>{"broken.xps", "p_001.bmp", "p_002.bmp", "p_003.bmp"}));
    DecodedImage blank;
    ASSERT_TRUE(DecodeBmp(dir_ / "p_002.bmp", dir_.str(), blank));
    // The size of the page before it, all white.
    EXPECT_EQ(blank.width, 96);
    EXPECT_EQ(blank.height, 192);
    EXPECT_TRUE(std::all_of(blank.pixels.begin(), blank.pixels.end(),
                            [](const RgbPixel& p) { return Near(p, Rgb(0xFFFFFF)); }));
    DecodedImage third;
    ASSERT_TRUE(DecodeBmp(dir_ / "p_003.bmp", dir_.str(), third));
    EXPECT_EQ(third.width, 192);
    EXPECT_TRUE(Near(third.At(10, 10), Rgb(0x0000FF)));
}

TEST_F(FailingPageTest, PdfKeepsEveryPage) {
    REQUIRE_TOOLS("pdfinfo");
    std::string pdf = dir_ / "out.pdf";
    ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, document_});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("proc.dll: " + document_ + ": page 2: ", 0), 0u) << run.err;
    ShellResult info = RunShell("pdfinfo " + ShellQuote(pdf));
    EXPECT_NE(info.out.find("Pages:           3\n"), std::string::npos) << info.out;
}

}  // namespace
