// Every stream of the PDF is stored compressed, in a form an independent reader decodes, and
// the encrypted file keeps them so too.

#include <gtest/gtest.h>

#include <sstream>

#include "engine_test_support.h"

namespace {

using namespace enginetest;

// Text, a JPEG image, a shading, a tiled brush and a masked region (drawn into an image).
std::string WriteMixedDocument(const TempDir& dir) {
    xpsfixture::XpsDocumentBuilder doc;
    int page = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddText(page, 96, 120, 24, "Compressed streams");
    doc.AddImage(page, 96, 200, 200, 150);
    doc.AddLinearGradient(page, 96, 400, 300, 100, 0xFF0000, 0x0000FF);
    doc.AddTiledSquares(page, 96, 550, 300, 200, 30, 0x008000);
    doc.AddFadedRect(page, 450, 550, 250, 200, 0x800080);
    std::string path = dir / "mixed.xps";
    EXPECT_TRUE(doc.WriteTo(path));
    return path;
}

// The objects of pdf holding a stream whose dictionary names no filter, as mutool lists them.
std::vector<std::string> UnfilteredStreams(const std::string& pdf, const std::string& password) {
    std::string command = "mutool show ";
    if (!password.empty()) command += "-p " + ShellQuote(password) + " ";
    ShellResult listing = RunShell(command + ShellQuote(pdf) + " grep");
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    std::vector<std::string> found;
    std::istringstream lines(listing.out);
    int streams = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 7 || line.compare(line.size() - 7, 7, " stream") != 0) continue;
        ++streams;
        if (line.find("/Filter") == std::string::npos) found.push_back(line);
    }
    EXPECT_GE(streams, 5) << listing.out;  // fonts, contents, image, mask, pattern cell...
    return found;
}

TEST(PdfCompressionTest, EveryStreamIsCompressedAndDecodes) {
    REQUIRE_TOOLS("mutool", "qpdf");
    TempDir dir;
    std::string document = WriteMixedDocument(dir);
    std::string plain = dir / "plain.pdf";
    ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + plain, document});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(UnfilteredStreams(plain, ""), std::vector<std::string>{});
    // qpdf rewrites the file with every stream decoded; any stream it cannot decode is a
    // warning and a non-zero exit.
    ShellResult check = RunShell("qpdf --decode-level=all --stream-data=uncompress " +
                                 ShellQuote(plain) + " " + ShellQuote(dir / "plain.out"));
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;

    std::string locked = dir / "locked.pdf";
    run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + locked, "-sOwnerPassword=own",
                     "-sUserPassword=use", "-dEncryptionR=3", "-dKeyLength=128", document});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(UnfilteredStreams(locked, "use"), std::vector<std::string>{});
    check = RunShell("qpdf --password=use --decode-level=all --stream-data=uncompress " +
                     ShellQuote(locked) + " " + ShellQuote(dir / "locked.out"));
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
}

}  // namespace
