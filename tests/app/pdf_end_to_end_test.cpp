// XPS to PDF through the whole program: engine, post-processor, exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/end_to_end_support.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

class PdfEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TOOLS("pdfinfo", "qpdf");
        WriteTwoPageDocument(dir / "report.xps");
    }
    ShellResult Run(const std::string& arguments) { return RunConverter(dir.str(), arguments); }
    std::string Info(const std::string& pdf, const std::string& password = "") {
        const std::string pw = password.empty() ? "" : " -upw " + ShellQuote(password);
        return RunShell("pdfinfo" + pw + " " + ShellQuote(pdf)).out;
    }
    TempDir dir;
};

TEST_F(PdfEndToEnd, PagesSizesAndTextBesideTheInput) {
    const ShellResult result = Run("-i report.xps -t pdf");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string info = Info(dir / "report.pdf");
    EXPECT_NE(info.find("Pages:           2"), std::string::npos) << info;
    EXPECT_NE(info.find("Page size:       612 x 792 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Producer:        Quorbex Tavrin"), std::string::npos) << info;
    const std::string text = RunShell("pdftotext " + ShellQuote(dir / "report.pdf") + " -").out;
    EXPECT_NE(text.find(kText), std::string::npos) << text;
    EXPECT_NE(text.find("Second page"), std::string::npos) << text;
    // Nothing but the PDF beside the input: no temporary file stayed behind.
    EXPECT_EQ(ListNames(dir.str()), (std::vector<std::string>{"report.pdf", "report.xps"}));
}

TEST_F(PdfEndToEnd, EncryptionAndInformationWithAwkwardTexts) {
    const ShellResult result =
        Run("-i report.xps -t pdf -o \"out dir\" -pu \"se cret\" -pn owner -pl 128 -pe 16 "
            "-pt \"Q3 (draft) 'final' C:\\x\" -pa \"Ann O'Neil\" -ps \"sub) (ject\" -pk \"a\\b\" "
            "-pc Maker -pp \"My Producer\"");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string pdf = dir / "out dir/report.pdf";
    ASSERT_TRUE(fs::exists(pdf));
    const ShellResult enc = RunShell("qpdf --show-encryption --password='se cret' " + ShellQuote(pdf));
    EXPECT_NE(enc.out.find("R = 3"), std::string::npos) << enc.out;
    EXPECT_NE(enc.out.find("extract for any purpose: not allowed"), std::string::npos) << enc.out;
    EXPECT_NE(enc.out.find("print high resolution: allowed"), std::string::npos) << enc.out;
    const ShellResult key = RunShell("qpdf --show-encryption-key --show-encryption --password='se cret' " +
                                     ShellQuote(pdf));
    EXPECT_NE(key.out.find("Encryption key = "), std::string::npos);
    const size_t keyStart = key.out.find("Encryption key = ");
    if (keyStart != std::string::npos) {
        const std::string hex = key.out.substr(keyStart + 17, key.out.find('\n', keyStart) - keyStart - 17);
        EXPECT_EQ(hex.size(), 32u) << "128-bit key";
    }
    // The user password is needed to open it.
    EXPECT_NE(RunShell("pdfinfo " + ShellQuote(pdf)).exitCode, 0);
    const std::string info = Info(pdf, "se cret");
    // A double quote cannot pass through the command-line grammar; texts with them are
    // covered where the engine's command line is built.
    EXPECT_NE(info.find("Title:           Q3 (draft) 'final' C:\\x"), std::string::npos) << info;
    EXPECT_NE(info.find("Author:          Ann O'Neil"), std::string::npos) << info;
    EXPECT_NE(info.find("Subject:         sub) (ject"), std::string::npos) << info;
    EXPECT_NE(info.find("Keywords:        a\\b"), std::string::npos) << info;
    EXPECT_NE(info.find("Creator:         Maker"), std::string::npos) << info;
    EXPECT_NE(info.find("Producer:        My Producer"), std::string::npos) << info;
}

// The key length qpdf reports, in hex digits (2 per byte); 0 when the file did not open.
size_t KeyDigits(const std::string& pdf, const std::string& password) {
    const std::string shown =
        RunShell("qpdf --show-encryption-key --show-encryption --password=" + ShellQuote(password) + " " +
                 ShellQuote(pdf)).out;
    const size_t at = shown.find("Encryption key = ");
    return at == std::string::npos ? 0 : shown.find('\n', at) - at - 17;
}

TEST_F(PdfEndToEnd, KeyLengthDefaultWeakAndMistyped) {
    ShellResult result = Run("-i report.xps -t pdf -pu pw");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(KeyDigits(dir / "report.pdf", "pw"), 32u) << "128-bit key";
    result = Run("-i report.xps -t pdf -pu pw -pl 40");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "xpsconv: -pl 40: a 40-bit key can be found by trying every key; -pl 128 or 256 protects\n");
    EXPECT_EQ(KeyDigits(dir / "report.pdf", "pw"), 10u) << "40-bit key";
    // A typo writes nothing at all rather than a weaker file.
    result = Run("-i report.xps -t pdf -pu pw -pl 265 -o out");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "xpsconv: -pl 265 is not a key length: use 40, 128 or 256; nothing was converted\n");
    EXPECT_FALSE(fs::exists(dir / "out"));
}

// Other readers derive the key from the password as typed: PDFDocEncoding for RC4 (the euro
// sign and the bullet are outside Latin-1), UTF-8 for AES. Poppler takes an RC4 password's
// bytes as they come (a file qpdf encrypts is no different), so it is given PDFDocEncoding.
TEST_F(PdfEndToEnd, NonAsciiPasswordsOpenInOtherReaders) {
    REQUIRE_TOOLS("mutool", "pdftotext");
    const std::string user = "p\xC3\xA4ssw\xC3\xB6rd";
    const std::string owner = "\xE2\x82\xAC\xE2\x80\xA2x";
    const std::map<std::string, std::string> pdfDocBytes = {{user, "p\xE4ssw\xF6rd"}, {owner, "\xA0\x80x"}};
    for (const std::string bits : {"128", "256"}) {
        const std::string pdf = dir / ("k" + bits + "/report.pdf");
        const ShellResult result = Run("-i report.xps -t pdf -o k" + bits + " -pu " + user + " -pn " + owner +
                                       " -pl " + bits + " -wt STAMPED");
        ASSERT_EQ(result.exitCode, 0) << result.err;
        for (const std::string& password : {user, owner}) {
            const std::string quoted = ShellQuote(password);
            EXPECT_EQ(RunShell("qpdf --check --password=" + quoted + " " + ShellQuote(pdf)).exitCode, 0)
                << bits << " " << password;
            const ShellResult info = RunShell("mutool info -p " + quoted + " " + ShellQuote(pdf));
            EXPECT_NE(info.out.find("Pages: 2"), std::string::npos) << bits << " " << password << info.err;
            const std::string option = password == user ? " -upw " : " -opw ";
            const std::string poppler = ShellQuote(bits == "128" ? pdfDocBytes.at(password) : password);
            const std::string text = RunShell("pdftotext" + option + poppler + " " + ShellQuote(pdf) + " -").out;
            EXPECT_NE(text.find("STAMPED"), std::string::npos) << bits << " " << password;
        }
        EXPECT_NE(RunShell("qpdf --check --password=wrong " + ShellQuote(pdf)).exitCode, 0);
    }
}

TEST_F(PdfEndToEnd, OverlayOnEveryPageInItsColour) {
    REQUIRE_TOOLS("pdftoppm");
    // Blue (0xBBGGRR = 0xFF0000) text at the top centre, large enough to sample.
    const ShellResult result = Run("-i report.xps -t pdf -pu pw -wt \"MMMMMMMM\" -wc 16711680 -ws 60 -wp 3");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string pdf = dir / "report.pdf";
    const std::string text = RunShell("pdftotext -upw pw " + ShellQuote(pdf) + " -").out;
    size_t count = 0;
    for (size_t at = text.find("MMMMMMMM"); at != std::string::npos; at = text.find("MMMMMMMM", at + 1)) ++count;
    EXPECT_EQ(count, 2u) << text;
    // Still encrypted the same way after stamping.
    EXPECT_NE(RunShell("qpdf --show-encryption --password=pw " + ShellQuote(pdf)).out.find("R = 3"),
              std::string::npos);
    ASSERT_EQ(RunShell("pdftoppm -upw pw -r 72 " + ShellQuote(pdf) + " " + ShellQuote(dir / "page")).exitCode, 0);
    for (const std::string page : {"page-1.ppm", "page-2.ppm"}) {
        DecodedImage image;
        ASSERT_TRUE(ReadPnm(dir / page, image)) << page;
        // Some pixel of the top band around the centre is the overlay's blue.
        int blue = 0;
        for (int y = 0; y < 90; ++y)
            for (int x = image.width / 2 - 150; x < image.width / 2 + 150; ++x)
                if (Near(image.At(x, y), RgbPixel{0, 0, 255}, 40)) ++blue;
        EXPECT_GT(blue, 100) << page;
    }
}

TEST_F(PdfEndToEnd, BrokenDocumentFailsAndLeavesNoFile) {
    WriteFile(dir / "broken.xps", "PK\x03\x04 this is not a package");
    const ShellResult result = Run("-i broken.xps -i report.xps -t pdf -o out");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("broken.xps"), std::string::npos) << result.err;
    EXPECT_EQ(ListNames(dir / "out"), (std::vector<std::string>{"report.pdf"}));
}

TEST_F(PdfEndToEnd, OutputFolderThatCannotTakeFilesStopsTheRunBeforeAnyWork) {
    WriteFile(dir / "file", "x");
    // A plain file, and a folder below a plain file that can never be made.
    for (const std::string folder : {"file", "file/sub"}) {
        const ShellResult result = Run("-i report.xps -t png -o " + folder);
        EXPECT_EQ(result.exitCode, 2) << folder;
        // The folder made absolute, and the system's reason.
        const std::string refusal = "Quorbex Tavrin Command Line: Invalid output path.\nxpsconv: " +
                                    Native(dir / folder) + platform::kSeparator + ": ";
#ifdef _WIN32
        EXPECT_EQ(result.err.rfind(refusal, 0), 0u) << result.err;
        EXPECT_GT(result.err.size(), refusal.size() + 1) << "a reason follows: " << result.err;
        EXPECT_EQ(result.err.find('\n', refusal.size()), result.err.size() - 1) << result.err;
#else
        EXPECT_EQ(result.err, refusal + "Not a directory\n") << folder;
#endif
    }
    EXPECT_EQ(ListNames(dir.str()), (std::vector<std::string>{"file", "report.xps"}));
}

TEST_F(PdfEndToEnd, OutputFolderTooLongIsInvalid) {
    // Short enough as typed, too long once made absolute (and still within what Windows can
    // make absolute at all).
    const std::string relative(255 - dir.str().size() + 1, 'd');
    ShellResult result = Run("-i report.xps -t pdf -o " + relative);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Quorbex Tavrin Command Line: Invalid output path.\nxpsconv: " +
                              Native(dir / relative) + platform::kSeparator +
                              ": the full path is longer than 255 characters\n");
    // Too long as typed: refused before anything else.
    result = Run("-i report.xps -t pdf -o " + ArgQuote(Native(dir / std::string(300, 'd'))));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "xpsconv: the value of -o is longer than 255 characters; nothing was converted\n");
    EXPECT_EQ(ListNames(dir.str()), (std::vector<std::string>{"report.xps"}));
}

}  // namespace

namespace {

TEST_F(PdfEndToEnd, Aes256StampedAndTheSameBytesEveryRun) {
    REQUIRE_TOOLS("pdftotext");
    ShellResult result = Run("-i report.xps -t pdf -o a -pu secret -pn owner -pl 256 -wt STAMPED");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string pdf = dir / "a/report.pdf";
    const ShellResult shown = RunShell("qpdf --show-encryption --password=secret " + ShellQuote(pdf));
    EXPECT_NE(shown.out.find("R = 6"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("AESv3"), std::string::npos) << shown.out;
    const std::string text = RunShell("pdftotext -upw secret " + ShellQuote(pdf) + " -").out;
    EXPECT_NE(text.find(kText), std::string::npos) << text;
    EXPECT_NE(text.find("STAMPED"), std::string::npos) << text;
    // The same document and options, another folder: the same bytes.
    result = Run("-i report.xps -t pdf -o b -pu secret -pn owner -pl 256 -wt STAMPED");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(dir / "b/report.pdf"), ReadFile(pdf));
}

}  // namespace
