// What the library leaves out of a page reaches the user: a font or an image that is missing
// from the package or cannot be read gives one line naming the document, the page and the
// part, once per page however often the page uses it, in page order, whichever device and
// however many drawing threads. The page is still written, and counts as incomplete: exit 1.

#include <gtest/gtest.h>

#include <regex>

#include "engine_test_support.h"

namespace {

using namespace enginetest;
using xpsfixture::BrokenPart;

class LibraryWarningsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        xpsfixture::XpsDocumentBuilder doc;
        // Every page has a red square at its top left, drawn after what is broken on it.
        auto page = [&] { return doc.AddPage(200, 100); };
        const int fine = page();
        // The same missing font three times on page 2, and again on page 3: each page tells
        // it once.
        const int missingFont = page();
        const std::string absent =
            doc.AddTextInBrokenFont(missingFont, 10, 50, 20, "Lost", BrokenPart::Missing);
        doc.AddTextInBrokenFont(missingFont, 10, 70, 20, "Lost again", BrokenPart::Missing, absent);
        doc.AddTextInBrokenFont(missingFont, 10, 90, 20, "And again", BrokenPart::Missing, absent);
        const int missingAgain = page();
        doc.AddTextInBrokenFont(missingAgain, 10, 50, 20, "Lost", BrokenPart::Missing, absent);
        const int garbageFont = page();
        doc.AddTextInBrokenFont(garbageFont, 10, 50, 20, "Unreadable", BrokenPart::Garbage);
        const int missingImage = page();
        doc.AddBrokenImage(missingImage, 100, 0, 100, 100, BrokenPart::Missing);
        const int garbageImage = page();
        doc.AddBrokenImage(garbageImage, 100, 0, 100, 100, BrokenPart::Garbage);
        // An image whose data stops short: the decoder finds out only while the page is drawn,
        // which for bitmaps is on a drawing thread.
        const int truncatedImage = page();
        doc.AddImageDeclaring(truncatedImage, 100, 0, 100, 100, xpsfixture::ImageFormat::Png, 64,
                              64);
        const int lastFine = page();
        for (int p = fine; p <= lastFine; ++p) doc.AddRect(p, 0, 0, 20, 20, 0xFF0000);
        document_ = dir_ / "broken parts.xps";
        ASSERT_TRUE(doc.WriteTo(document_));
    }

    // Each stderr line must be "proc.dll: DOCUMENT: page N: ...", N in increasing order, and
    // name its part as expected.
    void ExpectWarnings(const ShellResult& run) {
        EXPECT_EQ(run.exitCode, 1) << run.err;
        const std::vector<std::string> lines = Lines(run.err);
        // Part names: the first font part is part1.ttf, the second font part2.ttf, the images
        // part3.png to part5.png. The decoders say why, not which part.
        const std::vector<std::pair<int, std::string>> expected = {
            {2, "/Resources/part1.ttf"}, {3, "/Resources/part1.ttf"}, {4, "/Resources/part2.ttf"},
            {5, "/Resources/part3.png"}, {6, "image"},                {7, "png image"},
        };
        ASSERT_EQ(lines.size(), expected.size()) << run.err;
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string start =
                "proc.dll: " + document_ + ": page " + std::to_string(expected[i].first) + ": ";
            EXPECT_EQ(lines[i].rfind(start, 0), 0u) << lines[i];
            EXPECT_NE(lines[i].find(expected[i].second), std::string::npos) << lines[i];
        }
        EXPECT_NE(lines[1].find("font"), std::string::npos) << lines[1];
        EXPECT_NE(lines[2].find("font"), std::string::npos) << lines[2];
        EXPECT_NE(lines[3].find("image"), std::string::npos) << lines[3];
        EXPECT_NE(lines[4].find("image"), std::string::npos) << lines[4];
        EXPECT_EQ(run.out, "page 1\npage 2\npage 3\npage 4\npage 5\npage 6\npage 7\npage 8\n");
    }

    TempDir dir_;
    std::string document_;
};

TEST_F(LibraryWarningsTest, BitmapPagesTellWhatTheyLostOnEveryThreadCount) {
    for (const char* threads : {"-dNumRenderingThreads=1", "-dNumRenderingThreads=3"}) {
        SCOPED_TRACE(threads);
        ShellResult run = RunEngine({"-sDEVICE=bmp16m", "-r96x96", threads,
                                     "-sOutputFile=" + (dir_ / "p_%03d.bmp"), document_});
        ExpectWarnings(run);
        if (!UseTool("convert")) continue;
        for (int page = 1; page <= 8; ++page) {
            DecodedImage image;
            const std::string name = "p_00" + std::to_string(page) + ".bmp";
            ASSERT_TRUE(DecodeBmp(dir_ / name, dir_.str(), image)) << name;
            EXPECT_TRUE(Near(image.At(10, 10), Rgb(0xFF0000))) << name;
            if (page != 7) {  // no image drawn
                EXPECT_TRUE(Near(image.At(150, 50), Rgb(0xFFFFFF))) << name;
            }
        }
    }
}

TEST_F(LibraryWarningsTest, PdfPagesTellWhatTheyLost) {
    const std::string pdf = dir_ / "out.pdf";
    ExpectWarnings(RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, document_}));
    if (!UseTool("pdfinfo")) return;
    ShellResult info = RunShell("pdfinfo " + ShellQuote(pdf));
    EXPECT_NE(info.out.find("Pages:           8\n"), std::string::npos) << info.out;
}

// A document without problems says nothing, as before.
TEST_F(LibraryWarningsTest, AGoodDocumentSaysNothing) {
    const std::string good = dir_ / "good.xps";
    WriteTestDocument(good);
    for (const char* device : {"-sDEVICE=bmp16m", "-sDEVICE=pdfwrite"}) {
        ShellResult run = RunEngine({device, "-r72x72", "-sOutputFile=" + (dir_ / "g_%03d.out"), good});
        EXPECT_EQ(run.exitCode, 0) << device;
        EXPECT_EQ(run.err, "") << device;
    }
}

}  // namespace
