// The pdfwrite device: pages and their sizes, text and fonts, the JPEG image, document
// information and encryption, each checked with poppler or qpdf.

#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <sstream>

#include "engine_test_support.h"

namespace {

using namespace enginetest;

class PdfDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("pdfinfo", "pdftotext", "pdffonts", "pdfimages", "qpdf", "pdftoppm");
        document_ = dir_ / "fixture.xps";
        WriteTestDocument(document_);
        pdf_ = dir_ / "out file.pdf";
    }

    ShellResult Convert(std::vector<std::string> extra) {
        std::vector<std::string> args = {"-sDEVICE=pdfwrite", "-dNOPAUSE", "-dBATCH", "-dSAFER",
                                         "-sOutputFile=" + pdf_};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(document_);
        return RunEngine(args);
    }

    std::string Tool(const std::string& command) {
        ShellResult r = RunShell(command);
        EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.err;
        return r.out;
    }

    // The value of one "Key: value" line of pdfinfo.
    static std::string Field(const std::string& info, const std::string& key) {
        std::regex line("(^|\n)" + key + ":[ ]*([^\n]*)");
        std::smatch m;
        return std::regex_search(info, m, line) ? m[2].str() : "<absent>";
    }

    TempDir dir_;
    std::string document_;
    std::string pdf_;
};

TEST_F(PdfDeviceTest, PagesKeepTheirCountSizeTextAndFonts) {
    ShellResult run = Convert({"-wProducer=(Quorbex Tavrin)"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::string info = Tool("pdfinfo -f 1 -l 2 " + ShellQuote(pdf_));
    EXPECT_EQ(Field(info, "Pages"), "2");
    EXPECT_EQ(Field(info, "Page    1 size"), "612 x 792 pts (letter)");
    EXPECT_EQ(Field(info, "Page    2 size"), "792 x 612 pts (letter)");

    std::string text = Tool("pdftotext " + ShellQuote(pdf_) + " -");
    EXPECT_NE(text.find(kPage1Text), std::string::npos) << text;
    EXPECT_NE(text.find(kPage2Text), std::string::npos) << text;

    std::string fonts = Tool("pdffonts " + ShellQuote(pdf_));
    EXPECT_NE(fonts.find("DejaVu"), std::string::npos) << fonts;
    // Columns end in: emb sub uni object ID.
    std::istringstream lines(fonts);
    std::string line;
    int fontCount = 0;
    for (int skip = 0; skip < 2 && std::getline(lines, line); ++skip) {
    }
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> tokens{std::istream_iterator<std::string>(words), {}};
        ASSERT_GE(tokens.size(), 6u) << line;
        EXPECT_EQ(tokens[tokens.size() - 5], "yes") << "not embedded: " << line;
        ++fontCount;
    }
    EXPECT_EQ(fontCount, 1) << fonts;

    // The XPS image was a JPEG: it stays one.
    std::string images = Tool("pdfimages -list " + ShellQuote(pdf_));
    EXPECT_NE(images.find(" jpeg "), std::string::npos) << images;

    EXPECT_EQ(ListNames(dir_.str()), (std::vector<std::string>{"fixture.xps", "out file.pdf"}));
}

TEST_F(PdfDeviceTest, VectorPagesDrawTheDocumentColoursInPlace) {
    ASSERT_EQ(Convert({}).exitCode, 0);
    std::string prefix = dir_ / "back";
    Tool("pdftoppm -r 96 -f 1 -l 1 " + ShellQuote(pdf_) + " " + ShellQuote(prefix));
    DecodedImage page;
    ASSERT_TRUE(ReadPnm(prefix + "-1.ppm", page));
    ASSERT_EQ(page.width, 816);
    ASSERT_EQ(page.height, 1056);
    for (const Box& box : {kRed, kGreen, kBlue}) {
        EXPECT_TRUE(Near(page.At(int(box.CentreX()), int(box.CentreY())), Rgb(box.colour)));
    }
    EXPECT_TRUE(Near(page.At(700, 1000), Rgb(0xFFFFFF)));
}

TEST_F(PdfDeviceTest, DocumentInformationKeepsEveryCharacter) {
    const std::string title = "A \"quoted\" title (with parentheses) and \\ backslash";
    const std::string author = "Unbalanced ) parenthesis (";
    const std::string subject = "Caf\xc3\xa9 \xe2\x82\xac";  // UTF-8 café €
    ShellResult run = Convert({"-wCreator=(Creator app)", "-wProducer=(Quorbex Tavrin)",
                               "-wTitle=(" + title + ")", "-wAuthor=(" + author + ")",
                               "-wSubject=(" + subject + ")", "-wKeywords=(one, two)"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string info = Tool("pdfinfo -enc UTF-8 " + ShellQuote(pdf_));
    EXPECT_EQ(Field(info, "Creator"), "Creator app");
    EXPECT_EQ(Field(info, "Producer"), "Quorbex Tavrin");
    EXPECT_EQ(Field(info, "Title"), title);
    EXPECT_EQ(Field(info, "Author"), author);
    EXPECT_EQ(Field(info, "Subject"), subject);
    EXPECT_EQ(Field(info, "Keywords"), "one, two");
}

#ifndef _WIN32
// Only where arguments are bytes: on Windows they reach the engine through the system's UTF-8
// code page, which takes no single-byte text.
TEST_F(PdfDeviceTest, SingleByteInformationTextIsReadAsWindows1252) {
    ShellResult run = Convert({"-wTitle=(Caf\xe9 \x80)"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Field(Tool("pdfinfo -enc UTF-8 " + ShellQuote(pdf_)), "Title"),
              "Caf\xc3\xa9 \xe2\x82\xac");
}
#endif

TEST_F(PdfDeviceTest, WithoutInformationArgumentsNoneIsInvented) {
    ASSERT_EQ(Convert({}).exitCode, 0);
    std::string info = Tool("pdfinfo " + ShellQuote(pdf_));
    EXPECT_EQ(Field(info, "Title"), "<absent>");
    EXPECT_EQ(Field(info, "Producer"), "<absent>");
}

struct EncryptionCase {
    int keyBits;
    int permissions;
    int expectedP;
    bool printAllowed;
    bool modifyAllowed;
};

class PdfEncryptionTest : public PdfDeviceTest,
                          public ::testing::WithParamInterface<EncryptionCase> {};

TEST_P(PdfEncryptionTest, Revision3WithTheKeyLengthAndPermissionsAsked) {
    const EncryptionCase c = GetParam();
    ShellResult run =
        Convert({"-sOwnerPassword=owner pw", "-sUserPassword=user (pw)", "-dEncryptionR=3",
                 "-dKeyLength=" + std::to_string(c.keyBits),
                 "-dPermissions=" + std::to_string(c.permissions), "-wTitle=(Secret title)"});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    // The user password is required; either password opens the file.
    ShellResult noPassword = RunShell("pdfinfo " + ShellQuote(pdf_));
    EXPECT_NE(noPassword.exitCode, 0);
    EXPECT_NE(noPassword.err.find("Incorrect password"), std::string::npos) << noPassword.err;
    std::string info = Tool("pdfinfo -upw 'user (pw)' " + ShellQuote(pdf_));
    EXPECT_EQ(Field(info, "Title"), "Secret title");
    EXPECT_EQ(Field(info, "Pages"), "2");
    Tool("pdfinfo -opw 'owner pw' " + ShellQuote(pdf_));
    std::string text = Tool("pdftotext -upw 'user (pw)' " + ShellQuote(pdf_) + " -");
    EXPECT_NE(text.find(kPage1Text), std::string::npos);

    std::string shown = Tool("qpdf --show-encryption --password='user (pw)' " + ShellQuote(pdf_));
    EXPECT_NE(shown.find("R = 3\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("P = " + std::to_string(c.expectedP) + "\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Supplied password is user password"), std::string::npos);
    EXPECT_NE(shown.find(std::string("print high resolution: ") +
                         (c.printAllowed ? "allowed" : "not allowed")),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find(std::string("modify document assembly: ") +
                         (c.modifyAllowed ? "allowed" : "not allowed")),
              std::string::npos)
        << shown;

    std::string json =
        Tool("qpdf --json --json-key=encrypt --password='user (pw)' " + ShellQuote(pdf_));
    EXPECT_NE(json.find("\"bits\": " + std::to_string(c.keyBits)), std::string::npos) << json;
    EXPECT_NE(json.find("\"streammethod\": \"RC4\""), std::string::npos) << json;
    ShellResult check = RunShell("qpdf --check --password='user (pw)' " + ShellQuote(pdf_));
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
}

// P = N | 0xC0 | 0xFFFFF000 | 512, and 256, 1024, 2048 following 32, 8, 4.
INSTANTIATE_TEST_SUITE_P(KeysAndPermissions, PdfEncryptionTest,
                         ::testing::Values(EncryptionCase{40, 60, -4, true, true},
                                           EncryptionCase{128, 60, -4, true, true},
                                           EncryptionCase{128, 56, -2056, false, true},
                                           EncryptionCase{40, 0, -3392, false, false},
                                           EncryptionCase{128, 52, -1036, true, false}));

TEST_F(PdfDeviceTest, OwnerPasswordAloneLeavesTheFileOpenable) {
    ShellResult run = Convert(
        {"-sOwnerPassword=tirvane", "-dEncryptionR=3", "-dKeyLength=128", "-dPermissions=60"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string shown = Tool("qpdf --show-encryption " + ShellQuote(pdf_));
    EXPECT_NE(shown.find("R = 3\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("User password = \n"), std::string::npos) << shown;
    EXPECT_EQ(Field(Tool("pdfinfo " + ShellQuote(pdf_)), "Encrypted"),
              "yes (print:yes copy:yes change:yes addNotes:yes algorithm:RC4)");
    Tool("qpdf --show-encryption --password=tirvane " + ShellQuote(pdf_));
}

}  // namespace

namespace {

TEST(ShippedSampleTest, ConvertsWithBothPagesAndItsTitle) {
    REQUIRE_TOOLS("pdfinfo", "pdftotext");
    TempDir dir;
    std::string pdf = dir / "sample.pdf";
    ShellResult run = enginetest::RunEngine(
        {"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, SourceDir() + "/samples/sample.xps"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(RunShell("pdfinfo " + ShellQuote(pdf)).out.find("Pages:           2\n"),
              std::string::npos);
    EXPECT_NE(RunShell("pdftotext " + ShellQuote(pdf) + " -").out.find("Sample XPS document"),
              std::string::npos);
}

}  // namespace
