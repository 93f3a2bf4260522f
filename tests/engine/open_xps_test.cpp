// An OpenXPS document (.oxps: the markup in the OpenXPS namespace, OpenXPS relationship types)
// is read like an XPS one by both devices.

#include <gtest/gtest.h>

#include "engine_test_support.h"

namespace {

using namespace enginetest;

class OpenXpsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        xpsfixture::XpsDocumentBuilder doc;
        doc.UseOpenXps(true);
        const int first = doc.AddPage(kPage1Width, kPage1Height);
        for (const Box& box : {kRed, kGreen, kBlue}) {
            doc.AddRect(first, box.x, box.y, box.w, box.h, box.colour);
        }
        doc.AddText(first, 96, 400, 24, kPage1Text);
        const int second = doc.AddPage(kPage2Width, kPage2Height);
        doc.AddImage(second, kImage.x, kImage.y, kImage.w, kImage.h);
        document_ = dir_ / "open.oxps";
        ASSERT_TRUE(doc.WriteTo(document_));
    }

    // The colour of box's centre, and white just outside its right edge.
    static void ExpectBox(const DecodedImage& page, const Box& box) {
        const RgbPixel& inside = page.At(int(box.CentreX()), int(box.CentreY()));
        EXPECT_TRUE(Near(inside, Rgb(box.colour)))
            << std::hex << box.colour << ": " << int(inside.r) << "," << int(inside.g) << ","
            << int(inside.b);
        EXPECT_TRUE(Near(page.At(int(box.x + box.w + 4), int(box.CentreY())), Rgb(0xFFFFFF)));
    }

    TempDir dir_;
    std::string document_;
};

TEST_F(OpenXpsTest, PackageIsOpenXpsThroughout) {
    REQUIRE_TOOLS("unzip");
    auto part = [&](const std::string& name) {
        return RunShell("unzip -p " + ShellQuote(document_) + " " + ShellQuote(name)).out;
    };
    const std::string oxps = "http://schemas.openxps.org/oxps/v1.0";
    EXPECT_NE(part("_rels/.rels").find(oxps + "/fixedrepresentation"), std::string::npos);
    EXPECT_NE(part("FixedDocumentSequence.fdseq").find("xmlns=\"" + oxps + "\""), std::string::npos);
    EXPECT_NE(part("Documents/1/FixedDocument.fdoc").find("xmlns=\"" + oxps + "\""),
              std::string::npos);
    EXPECT_NE(part("Documents/1/Pages/1.fpage").find("xmlns=\"" + oxps + "\""), std::string::npos);
    EXPECT_NE(part("Documents/1/Pages/_rels/1.fpage.rels").find(oxps + "/required-resource"),
              std::string::npos);
    for (const std::string name : {"_rels/.rels", "FixedDocumentSequence.fdseq",
                                   "Documents/1/Pages/1.fpage", "Documents/1/Pages/_rels/2.fpage.rels"}) {
        EXPECT_EQ(part(name).find("schemas.microsoft.com/xps"), std::string::npos) << name;
    }
}

TEST_F(OpenXpsTest, BitmapsShowTheShapesInPlace) {
    REQUIRE_TOOLS("convert");
    ShellResult run = RunEngine(
        {"-sDEVICE=bmp16m", "-r96x96", "-sOutputFile=" + (dir_ / "p_%03d.bmp"), document_});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    DecodedImage page;
    ASSERT_TRUE(DecodeBmp(dir_ / "p_001.bmp", dir_.str(), page));
    ASSERT_EQ(page.width, 816);
    ASSERT_EQ(page.height, 1056);
    for (const Box& box : {kRed, kGreen, kBlue}) ExpectBox(page, box);
    ASSERT_TRUE(DecodeBmp(dir_ / "p_002.bmp", dir_.str(), page));
    ASSERT_EQ(page.width, 1056);
    ExpectBox(page, kImage);
}

TEST_F(OpenXpsTest, PdfKeepsTheShapesAndText) {
    REQUIRE_TOOLS("pdftoppm", "pdftotext");
    const std::string pdf = dir_ / "out.pdf";
    ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, document_});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(RunShell("pdftotext " + ShellQuote(pdf) + " -").out.find(kPage1Text),
              std::string::npos);
    const std::string prefix = dir_ / "back";
    ASSERT_EQ(RunShell("pdftoppm -r 96 " + ShellQuote(pdf) + " " + ShellQuote(prefix)).exitCode, 0);
    DecodedImage page;
    ASSERT_TRUE(ReadPnm(prefix + "-1.ppm", page));
    ASSERT_EQ(page.width, 816);
    for (const Box& box : {kRed, kGreen, kBlue}) ExpectBox(page, box);
    ASSERT_TRUE(ReadPnm(prefix + "-2.ppm", page));
    ASSERT_EQ(page.width, 1056);
    ExpectBox(page, kImage);
}

}  // namespace
