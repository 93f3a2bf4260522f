// The converter and its engine share one contract: a request formatted as the converter sends
// it (exact bytes, as engines have always been given it), split as the system splits a command
// line and parsed as the engine parses it, comes back unchanged.
#include "protocol/engine_protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using protocol::Device;
using protocol::EngineRequest;

// What the engine receives: the text split as the system splits it, the program name first.
protocol::ParsedRequest Received(const std::string& arguments) {
    std::vector<std::string> words = platform::SplitCommandLine("proc.dll " + arguments);
    words.erase(words.begin());
    return protocol::ParseEngineArguments(words);
}

void ExpectRoundTrip(const EngineRequest& request) {
    const protocol::ParsedRequest parsed = Received(protocol::FormatEngineArguments(request));
    EXPECT_TRUE(parsed.errors.empty()) << parsed.errors.front();
    EXPECT_EQ(parsed.request, request);
}

EngineRequest Pdf(const std::string& input, const std::string& output) {
    EngineRequest request;
    request.device = Device::PdfWrite;
    request.outputFile = output;
    request.inputPath = input;
    return request;
}

TEST(EngineProtocol, PdfRequestsKeepTheirBytesAndComeBackWhole) {
    EngineRequest plain = Pdf("/in/report.xps", "/out/report.pdf");
    plain.info = {{"Producer", "Quorbex Tavrin"}};
    EXPECT_EQ(protocol::FormatEngineArguments(plain),
              "-sDEVICE=pdfwrite -dNOPAUSE -dBATCH -dSAFER -sOutputFile=\"/out/report.pdf\" "
              "-wProducer=\"(Quorbex Tavrin)\" \"/in/report.xps\" ");
    ExpectRoundTrip(plain);

    // Every piece, with texts that need quoting, escaping or look like arguments themselves.
    EngineRequest full = Pdf("/in dir/a.xps", "/out dir/a.pdf");
    full.security = protocol::SecurityRequest{"own er", "us\"er", 40, protocol::kAllPermissions - 4, 3};
    full.info = {{"Creator", "C"},      {"Producer", "P"},  {"Title", "T (1)"},
                 {"Author", "A\\"},     {"Subject", "S"},   {"Keywords", "x\" -sOutputFile=/etc/evil \""}};
    EXPECT_EQ(protocol::FormatEngineArguments(full),
              "-sDEVICE=pdfwrite -dNOPAUSE -dBATCH -dSAFER -sOutputFile=\"/out dir/a.pdf\" "
              "-sOwnerPassword=\"own er\" -sUserPassword=\"us\\\"er\" -dEncryptionR=3 -dKeyLength=40 "
              "-dPermissions=56 -wCreator=\"(C)\" -wProducer=\"(P)\" -wTitle=\"(T (1))\" -wAuthor=\"(A\\)\" "
              "-wSubject=\"(S)\" -wKeywords=\"(x\\\" -sOutputFile=/etc/evil \\\")\" \"/in dir/a.xps\" ");
    ExpectRoundTrip(full);

    // AES-256 is revision 6; no user password, no piece for it.
    EngineRequest aes = Pdf("/a.xps", "/a.pdf");
    aes.security = protocol::SecurityRequest{"f00d", "", 256, protocol::kAllPermissions, 6};
    EXPECT_NE(protocol::FormatEngineArguments(aes).find(
                  " -sOwnerPassword=\"f00d\" -dEncryptionR=6 -dKeyLength=256 -dPermissions=60 "),
              std::string::npos);
    ExpectRoundTrip(aes);

    // Password bytes beyond printable ASCII (PDFDocEncoding, a blank that is not one) travel as
    // hex digits: no command line of any system can change them.
    aes.security->ownerPassword = std::string("p\xE4ss\x80\x00\x7F", 7);
    aes.security->userPassword = "\xC3\xA4 \t";
    EXPECT_NE(protocol::FormatEngineArguments(aes).find(
                  " -sOwnerPasswordHex=70E4737380007F -sUserPasswordHex=C3A42009 -dEncryptionR=6 "),
              std::string::npos);
    ExpectRoundTrip(aes);
}

TEST(EngineProtocol, PageImageRequestsKeepTheirBytesAndComeBackWhole) {
    EngineRequest request;
    request.device = Device::Bmp16m;
    request.outputFile = protocol::PageFileTemplate("/tmp/mtmp-1/", "my report");
    request.resolutionX = 300;
    request.resolutionY = 150;
    request.info = {{"Producer", "quorbex"}};
    request.inputPath = "/in/my report.xps";
    EXPECT_EQ(protocol::FormatEngineArguments(request),
              "-dNOPAUSE -sDEVICE=bmp16m -sOutputFile=\"/tmp/mtmp-1/my report_%03d.bmp\" -r300x150 "
              "-wProducer=quorbex \"/in/my report.xps\" ");
    ExpectRoundTrip(request);
    // A text that is no plain word travels quoted; a thread count only when one is asked for.
    request.info = {{"Producer", "two (words)"}};
    request.renderingThreads = 3;
    EXPECT_NE(protocol::FormatEngineArguments(request).find(
                  " -r300x150 -dNumRenderingThreads=3 -wProducer=\"(two (words))\" "),
              std::string::npos);
    ExpectRoundTrip(request);
}

TEST(EngineProtocol, TheEngineIgnoresWhatItDoesNotKnowAndNamesWhatItCannotUse) {
    protocol::ParsedRequest parsed = Received(
        "-dQUIET -sPAPERSIZE=a4 -wColour=(red) -sDEVICE=bmp16m -r96 -wTitle=(one) -wTitle=two "
        "-sOutputFile=p_%03d.bmp in.xps");
    EXPECT_TRUE(parsed.errors.empty());
    EXPECT_EQ(parsed.request.resolutionX, 96);
    EXPECT_EQ(parsed.request.resolutionY, 96);
    EXPECT_EQ(parsed.request.info, (std::vector<protocol::InfoEntry>{{"Title", "two"}}));  // the later wins
    EXPECT_EQ(parsed.request.inputPath, "in.xps");

    parsed = Received("-sDEVICE=pdfwrite -sOutputFile=a.pdf -dKeyLength=128 -dEncryptionR=6 in.xps");
    EXPECT_EQ(parsed.errors, std::vector<std::string>{"encryption revision 6 does not take 128-bit keys"});
    parsed = Received("-sDEVICE=pdfwrite -sOutputFile=a.pdf -sUserPasswordHex=ABC -sOwnerPasswordHex=0g in.xps");
    EXPECT_EQ(parsed.errors, (std::vector<std::string>{"invalid password digits: -sUserPasswordHex=",
                                                       "invalid password digits: -sOwnerPasswordHex="}));
    parsed = Received("-rfast -dKeyLength=41 in.xps");
    EXPECT_EQ(parsed.errors, (std::vector<std::string>{
                                 "invalid resolution: -rfast", "invalid key length: 41",
                                 "no output device given (-sDEVICE=pdfwrite or -sDEVICE=bmp16m)",
                                 "no output file given"}));
    EXPECT_EQ(protocol::ParseEngineArguments({}).errors, std::vector<std::string>{"no input document given"});
}

TEST(EngineProtocol, PageFilesAreNamedFromTheTemplateRule) {
    // A '%' of the base name is doubled in the template, so the engine takes it literally.
    EXPECT_EQ(protocol::PageFileTemplate("/t/", "100%_done"), "/t/100%%_done_%03d.bmp");
    EXPECT_EQ(protocol::PageFileName("/t/", "100%_done", 7), "/t/100%_done_007.bmp");
    EXPECT_EQ(protocol::PageFileName("/t/", "doc", 1234), "/t/doc_1234.bmp");
}

TEST(EngineProtocol, PageLinesArePickedOutOfAnyStreamOfPieces) {
    EXPECT_EQ(protocol::PageDoneLine(12), "page 12\n");
    EXPECT_EQ(protocol::PageTakenLine(3), "taken 3\n");
    // Announcements among other lines, split anywhere, with either line end; nothing else counts.
    const std::string stream = "page 1\nwaiting until page files are taken (2 in place)\r\npage 2\r\n"
                               "page 0\npage -1\npage 3x\ntaken 4\n" + std::string(5000, 'x') +
                               "page 9\npage 3\npage 4";
    for (size_t piece : {size_t{1}, size_t{7}, stream.size()}) {
        protocol::PageLineReader reader(protocol::kPageDoneWord);
        std::vector<int> pages;
        for (size_t at = 0; at < stream.size(); at += piece)
            reader.Read(stream.data() + at, std::min(piece, stream.size() - at), [&](int page) { pages.push_back(page); });
        EXPECT_EQ(pages, (std::vector<int>{1, 2, 3})) << "pieces of " << piece;  // page 4 has no line end yet
    }
    protocol::PageLineReader taken(protocol::kPageTakenWord);
    std::vector<int> pages;
    const std::string acknowledgements = protocol::PageTakenLine(5) + "page 6\n" + protocol::PageTakenLine(7);
    taken.Read(acknowledgements.data(), acknowledgements.size(), [&](int page) { pages.push_back(page); });
    EXPECT_EQ(pages, (std::vector<int>{5, 7}));
}

}  // namespace
