#include <gtest/gtest.h>

#include "driver/pdf_job.h"
#include "driver/raster_job.h"
#include "platform/platform.h"

namespace {

Settings Defaults() {
    Settings settings;
    ResetSettings(settings);
    return settings;
}

using Words = std::vector<std::string>;

TEST(PdfCommandLine, NoOptionsGivesTheFixedPiecesAndTheDefaultProducer) {
    EXPECT_EQ(BuildPdfCommandLine("/in/report.xps", "/out/report.pdf", Defaults(), "unused"),
              "proc.dll -sDEVICE=pdfwrite -dNOPAUSE -dBATCH -dSAFER -sOutputFile=\"/out/report.pdf\" "
              "-wProducer=\"(Quorbex Tavrin)\" \"/in/report.xps\" ");
}

TEST(PdfCommandLine, KeyLengthAloneUsesTheGivenFreshOwnerPassword) {
    Settings settings = Defaults();
    settings.pdfEncrypt = 1;
    settings.pdfKeyLength = 128;
    const Words words = platform::SplitCommandLine(BuildPdfCommandLine("/a.xps", "/a.pdf", settings, "f00d"));
    const Words expected = {"proc.dll", "-sDEVICE=pdfwrite", "-dNOPAUSE", "-dBATCH", "-dSAFER",
                            "-sOutputFile=/a.pdf", "-sOwnerPassword=f00d", "-dEncryptionR=3",
                            "-dKeyLength=128", "-dPermissions=60", "-wProducer=(Quorbex Tavrin)", "/a.xps"};
    EXPECT_EQ(words, expected);
}

TEST(PdfCommandLine, Aes256IsRevisionSix) {
    Settings settings = Defaults();
    settings.pdfEncrypt = 1;
    settings.pdfKeyLength = 256;
    const Words words = platform::SplitCommandLine(BuildPdfCommandLine("/a.xps", "/a.pdf", settings, "f00d"));
    EXPECT_EQ(words[7], "-dEncryptionR=6");
    EXPECT_EQ(words[8], "-dKeyLength=256");
}

TEST(PdfCommandLine, FreshOwnerPasswordsAreLongPrintableAndNeverRepeat) {
    const std::string first = FreshOwnerPassword();
    const std::string second = FreshOwnerPassword();
    ASSERT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(first, second);
}

TEST(PdfCommandLine, EveryPieceInOrder) {
    Settings settings = Defaults();
    settings.pdfEncrypt = 1;
    settings.pdfOwnerPassword = "own er";
    settings.pdfUserPassword = "us\"er";
    settings.pdfRestrictions = 4;
    settings.pdfCreator = "C";
    settings.pdfProducer = "P";
    settings.pdfTitle = "T (1)";
    settings.pdfAuthor = "A\\";
    settings.pdfSubject = "S";
    settings.pdfKeywords = "K";
    const Words words =
        platform::SplitCommandLine(BuildPdfCommandLine("/in dir/a.xps", "/out dir/a.pdf", settings, "unused"));
    const Words expected = {"proc.dll", "-sDEVICE=pdfwrite", "-dNOPAUSE", "-dBATCH", "-dSAFER",
                            "-sOutputFile=/out dir/a.pdf", "-sOwnerPassword=own er", "-sUserPassword=us\"er",
                            "-dEncryptionR=3", "-dKeyLength=40", "-dPermissions=56", "-wCreator=(C)",
                            "-wProducer=(P)", "-wTitle=(T (1))", "-wAuthor=(A\\)", "-wSubject=(S)",
                            "-wKeywords=(K)", "/in dir/a.xps"};
    EXPECT_EQ(words, expected);
}

TEST(PdfCommandLine, NoTextCanAddAnArgumentOfItsOwn) {
    Settings settings = Defaults();
    settings.pdfTitle = "x\" -sOutputFile=/etc/evil \"";
    const Words words = platform::SplitCommandLine(BuildPdfCommandLine("/a.xps", "/a.pdf", settings, "unused"));
    EXPECT_EQ(words.size(), 9u);
    EXPECT_EQ(words[7], "-wTitle=(x\" -sOutputFile=/etc/evil \")");
}

TEST(RasterCommandLine, OrderAndResolution) {
    Settings settings = Defaults();
    settings.resolutionX = 300;
    settings.resolutionY = 150;
    EXPECT_EQ(BuildRasterCommandLine("/in/my report.xps", PageFileTemplate("/tmp/mtmp-1/", "my report"), settings),
              "proc.dll -dNOPAUSE -sDEVICE=bmp16m -sOutputFile=\"/tmp/mtmp-1/my report_%03d.bmp\" -r300x150 "
              "-wProducer=quorbex \"/in/my report.xps\" ");
    EXPECT_NE(BuildRasterCommandLine("/a.xps", "t", Defaults()).find(" -r72x72 "), std::string::npos);
}

TEST(RasterCommandLine, PercentInTheBaseNameIsTakenLiterally) {
    EXPECT_EQ(PageFileTemplate("/t/", "100%_done"), "/t/100%%_done_%03d.bmp");
}

}  // namespace
