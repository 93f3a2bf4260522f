// AES-256 (revision 6) for 256-bit keys, read back by qpdf and poppler: both passwords open the
// file, others do not, the text is there behind the user password, and the switches that do
// not fit together are refused.

#include <gtest/gtest.h>

#include "engine_test_support.h"

namespace {

using namespace enginetest;

class PdfAesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("pdftotext", "qpdf");
        document_ = dir_ / "fixture.xps";
        WriteTestDocument(document_);
        pdf_ = dir_ / "aes.pdf";
    }

    ShellResult Convert(const std::vector<std::string>& security) {
        std::vector<std::string> args = {"-sDEVICE=pdfwrite", "-dNOPAUSE", "-dBATCH",
                                         "-sOutputFile=" + pdf_};
        args.insert(args.end(), security.begin(), security.end());
        args.push_back(document_);
        return RunEngine(args);
    }

    // qpdf's report with the given password, or "" when that password does not open the file.
    std::string Show(const std::string& password) {
        std::string command = "qpdf --show-encryption --password=";
        command += ShellQuote(password);
        command += ' ';
        command += ShellQuote(pdf_);
        ShellResult r = RunShell(command);
        const bool opened = r.exitCode == 0 && r.out.find("Incorrect password") == std::string::npos;
        return opened ? r.out : "";
    }

    TempDir dir_;
    std::string document_;
    std::string pdf_;
};

TEST_F(PdfAesTest, Revision6OpensWithEitherPasswordAndKeepsTheText) {
    ShellResult run = Convert({"-sOwnerPassword=the owner", "-sUserPassword=the user",
                               "-dEncryptionR=6", "-dKeyLength=256", "-dPermissions=56"});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::string asUser = Show("the user");
    EXPECT_NE(asUser.find("R = 6\n"), std::string::npos) << asUser;
    // The same P as revision 3 for the same request (print not allowed).
    EXPECT_NE(asUser.find("P = -2056\n"), std::string::npos) << asUser;
    EXPECT_NE(asUser.find("Supplied password is user password"), std::string::npos) << asUser;
    for (const char* method : {"stream", "string", "file"}) {
        EXPECT_NE(asUser.find(std::string(method) + " encryption method: AESv3"), std::string::npos)
            << asUser;
    }
    EXPECT_NE(asUser.find("print high resolution: not allowed"), std::string::npos) << asUser;
    EXPECT_NE(Show("the owner").find("Supplied password is owner password"), std::string::npos);
    EXPECT_EQ(Show(""), "");
    EXPECT_EQ(Show("the use"), "");

    // The keys and lengths of the encryption dictionary as qpdf's JSON gives them.
    ShellResult json = RunShell("qpdf --json --json-key=encrypt --password='the user' " +
                                ShellQuote(pdf_));
    EXPECT_NE(json.out.find("\"bits\": 256"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"V\": 5"), std::string::npos) << json.out;
    ShellResult check = RunShell("qpdf --check --password='the owner' " + ShellQuote(pdf_));
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;

    ShellResult text = RunShell("pdftotext -upw 'the user' " + ShellQuote(pdf_) + " -");
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find(kPage1Text), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(kPage2Text), std::string::npos) << text.out;
    EXPECT_NE(RunShell("pdftotext " + ShellQuote(pdf_) + " -").exitCode, 0);
}

TEST_F(PdfAesTest, WithoutAUserPasswordTheFileOpensAndTheOwnerPasswordIsKnown) {
    ShellResult run = Convert({"-sOwnerPassword=f00dcafe", "-dEncryptionR=6", "-dKeyLength=256",
                               "-dPermissions=60"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string open = Show("");
    EXPECT_NE(open.find("R = 6\n"), std::string::npos) << open;
    EXPECT_NE(open.find("Supplied password is user password"), std::string::npos) << open;
    EXPECT_NE(Show("f00dcafe").find("Supplied password is owner password"), std::string::npos);
    ShellResult text = RunShell("pdftotext " + ShellQuote(pdf_) + " -");
    EXPECT_NE(text.out.find(kPage1Text), std::string::npos) << text.out;
}

// Passwords are taken as UTF-8 bytes and cut at 127 bytes, as readers cut them.
TEST_F(PdfAesTest, LongAndNonAsciiPasswordsOpenTheFileAsReadersTypeThem) {
    const std::string longUser(130, 'u');
    const std::string owner = "p\xC3\xA4sswort-\xE2\x82\xAC";
    ShellResult run = Convert({"-sOwnerPassword=" + owner, "-sUserPassword=" + longUser,
                               "-dEncryptionR=6", "-dKeyLength=256"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(Show(longUser).find("Supplied password is user password"), std::string::npos);
    EXPECT_NE(Show(longUser.substr(0, 127)).find("Supplied password is user password"),
              std::string::npos);
    EXPECT_EQ(Show(longUser.substr(0, 126)), "");
    EXPECT_NE(Show(owner).find("Supplied password is owner password"), std::string::npos);
}

TEST_F(PdfAesTest, RevisionAndKeyLengthThatDoNotFitAreRefused) {
    for (const std::vector<std::string>& security :
         {std::vector<std::string>{"-sOwnerPassword=o", "-dEncryptionR=3", "-dKeyLength=256"},
          std::vector<std::string>{"-sOwnerPassword=o", "-dEncryptionR=6", "-dKeyLength=128"},
          std::vector<std::string>{"-sOwnerPassword=o", "-dEncryptionR=6"},
          std::vector<std::string>{"-sOwnerPassword=o", "-dKeyLength=192"},
          std::vector<std::string>{"-sOwnerPassword=o", "-dEncryptionR=5", "-dKeyLength=256"}}) {
        ShellResult run = Convert(security);
        EXPECT_NE(run.exitCode, 0) << security[1];
        EXPECT_NE(run.err, "") << security[1];
        EXPECT_FALSE(std::filesystem::exists(pdf_)) << security[1];
    }
}

}  // namespace
