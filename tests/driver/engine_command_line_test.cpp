// What the jobs ask of the engine, from the settings, read back as the engine reads it (the
// exact bytes of each request are the protocol's, tests/protocol).
#include <gtest/gtest.h>

#include "driver/pdf_job.h"
#include "driver/raster_job.h"
#include "platform/platform.h"
#include "protocol/engine_protocol.h"

namespace {

Settings Defaults() {
    Settings settings;
    ResetSettings(settings);
    return settings;
}

// The request the engine receives from a job's command line.
protocol::EngineRequest Received(const std::string& commandLine) {
    std::vector<std::string> words = platform::SplitCommandLine(commandLine);
    EXPECT_EQ(words.at(0), "proc.dll");
    words.erase(words.begin());
    const protocol::ParsedRequest parsed = protocol::ParseEngineArguments(words);
    EXPECT_TRUE(parsed.errors.empty());
    return parsed.request;
}

TEST(PdfCommandLine, NoOptionsGivesTheDefaultProducerAndNoSecurity) {
    const std::string line = BuildPdfCommandLine("/in/report.xps", "/out/report.pdf", Defaults(), "unused");
    EXPECT_EQ(line.rfind("proc.dll -sDEVICE=pdfwrite ", 0), 0u) << line;
    protocol::EngineRequest expected;
    expected.device = protocol::Device::PdfWrite;
    expected.outputFile = "/out/report.pdf";
    expected.info = {{"Producer", "Quorbex Tavrin"}};
    expected.inputPath = "/in/report.xps";
    EXPECT_EQ(Received(line), expected);
}

TEST(PdfCommandLine, KeyLengthAloneUsesTheGivenFreshOwnerPassword) {
    Settings settings = Defaults();
    settings.pdfEncrypt = 1;
    settings.pdfKeyLength = 128;
    EXPECT_EQ(Received(BuildPdfCommandLine("/a.xps", "/a.pdf", settings, "f00d")).security,
              (protocol::SecurityRequest{"f00d", "", 128, 60, 3}));
    settings.pdfKeyLength = 256;  // AES-256 is revision 6
    EXPECT_EQ(Received(BuildPdfCommandLine("/a.xps", "/a.pdf", settings, "f00d")).security,
              (protocol::SecurityRequest{"f00d", "", 256, 60, 6}));
}

TEST(PdfCommandLine, FreshOwnerPasswordsAreLongPrintableAndNeverRepeat) {
    const std::string first = FreshOwnerPassword();
    const std::string second = FreshOwnerPassword();
    ASSERT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(first, second);
}

TEST(PdfCommandLine, EverySettingArrives) {
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
    const protocol::EngineRequest received =
        Received(BuildPdfCommandLine("/in dir/a.xps", "/out dir/a.pdf", settings, "unused"));
    EXPECT_EQ(received.outputFile, "/out dir/a.pdf");
    EXPECT_EQ(received.inputPath, "/in dir/a.xps");
    EXPECT_EQ(received.security, (protocol::SecurityRequest{"own er", "us\"er", 128, 56, 3}));
    EXPECT_EQ(received.info, (std::vector<protocol::InfoEntry>{{"Creator", "C"}, {"Producer", "P"},
                                                               {"Title", "T (1)"}, {"Author", "A\\"},
                                                               {"Subject", "S"}, {"Keywords", "K"}}));
}

TEST(RasterCommandLine, TemplateResolutionAndProducer) {
    Settings settings = Defaults();
    settings.resolutionX = 300;
    settings.resolutionY = 150;
    const std::string pageTemplate = protocol::PageFileTemplate("/tmp/mtmp-1/", "my report");
    const std::string line = BuildRasterCommandLine("/in/my report.xps", pageTemplate, settings);
    EXPECT_EQ(line.rfind("proc.dll -dNOPAUSE -sDEVICE=bmp16m ", 0), 0u) << line;
    protocol::EngineRequest expected;
    expected.device = protocol::Device::Bmp16m;
    expected.outputFile = pageTemplate;
    expected.resolutionX = 300;
    expected.resolutionY = 150;
    expected.info = {{"Producer", "quorbex"}};
    expected.inputPath = "/in/my report.xps";
    EXPECT_EQ(Received(line), expected);
    EXPECT_NE(BuildRasterCommandLine("/a.xps", "t", Defaults()).find(" -r72x72 "), std::string::npos);
}

}  // namespace
