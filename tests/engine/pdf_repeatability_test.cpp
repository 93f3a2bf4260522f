// The same document and options give the same bytes: plain, RC4 and AES files alike, the file
// identifier being a digest of the content and the options, not of the clock or the output
// name.

#include <gtest/gtest.h>

#include <regex>

#include "engine_test_support.h"

namespace {

using namespace enginetest;

class PdfRepeatabilityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("qpdf");
        document_ = dir_ / "fixture.xps";
        WriteTestDocument(document_);
    }

    // The bytes of the PDF written for document with options, at a new path each time.
    std::string Convert(const std::vector<std::string>& options, const std::string& document = "") {
        const std::string pdf = dir_ / ("run" + std::to_string(++runs_) + ".pdf");
        std::vector<std::string> args = {"-sDEVICE=pdfwrite", "-dNOPAUSE", "-dBATCH",
                                         "-sOutputFile=" + pdf};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(document.empty() ? document_ : document);
        ShellResult run = RunEngine(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return ReadFile(pdf);
    }

    // The two entries of the trailer's /ID, as hexadecimal text.
    static std::pair<std::string, std::string> Ids(const std::string& pdf) {
        static const std::regex id("/ID\\s*\\[\\s*<([0-9a-fA-F]{32})>\\s*<([0-9a-fA-F]{32})>");
        std::smatch m;
        if (!std::regex_search(pdf, m, id)) return {};
        return {m[1].str(), m[2].str()};
    }

    TempDir dir_;
    std::string document_;
    int runs_ = 0;
};

TEST_F(PdfRepeatabilityTest, PlainRc4AndAesFilesAreTheSameBytesEachRun) {
    const std::vector<std::vector<std::string>> cases = {
        {"-wTitle=(Same)"},
        {"-sOwnerPassword=owner", "-sUserPassword=user", "-dEncryptionR=3", "-dKeyLength=128",
         "-dPermissions=56"},
        {"-sOwnerPassword=owner", "-dEncryptionR=3", "-dKeyLength=40", "-dPermissions=60"},
        {"-sOwnerPassword=owner", "-sUserPassword=user", "-dEncryptionR=6", "-dKeyLength=256",
         "-dPermissions=56"}};
    for (const std::vector<std::string>& options : cases) {
        const std::string first = Convert(options);
        const std::string second = Convert(options);
        ASSERT_FALSE(first.empty()) << options.back();
        EXPECT_TRUE(first == second) << "runs differ with " << options.back();
        const auto [id0, id1] = Ids(first);
        EXPECT_EQ(id0.size(), 32u) << options.back();
        EXPECT_EQ(id0, id1) << "a new file has equal identifier entries";
        EXPECT_NE(id0, std::string(32, '0'));
    }
}

TEST_F(PdfRepeatabilityTest, TheIdentifierFollowsTheContentAndTheOptions) {
    const std::string base = Convert({"-wTitle=(One)"});
    const std::string otherTitle = Convert({"-wTitle=(Two)"});
    xpsfixture::XpsDocumentBuilder other;
    other.AddText(other.AddPage(kPage1Width, kPage1Height), 96, 400, 24, kPage1Text);
    const std::string otherDocument = dir_ / "other.xps";
    ASSERT_TRUE(other.WriteTo(otherDocument));
    const std::string otherContent = Convert({"-wTitle=(One)"}, otherDocument);
    EXPECT_NE(Ids(base).first, Ids(otherTitle).first);
    EXPECT_NE(Ids(base).first, Ids(otherContent).first);
    EXPECT_NE(Ids(otherTitle).first, Ids(otherContent).first);
    // Nothing from the clock: no dates the document did not give.
    EXPECT_EQ(base.find("/CreationDate"), std::string::npos);
    EXPECT_EQ(base.find("/ModDate"), std::string::npos);
}

// Another password gives other keys: the file differs, and each opens only with its own.
TEST_F(PdfRepeatabilityTest, AnotherOwnerPasswordGivesAnotherFile) {
    for (const char* bits : {"128", "256"}) {
        const std::string revision = std::string(bits) == "256" ? "6" : "3";
        const std::string a = Convert({"-sOwnerPassword=first", "-dEncryptionR=" + revision,
                                       "-dKeyLength=" + std::string(bits)});
        const std::string b = Convert({"-sOwnerPassword=second", "-dEncryptionR=" + revision,
                                       "-dKeyLength=" + std::string(bits)});
        EXPECT_FALSE(a == b) << bits;
        const std::string path = dir_ / "second.pdf";
        WriteFile(path, b);
        ShellResult asFirst = RunShell("qpdf --show-encryption --password=first " + ShellQuote(path));
        EXPECT_EQ(asFirst.out.find("Supplied password is owner password"), std::string::npos) << bits;
        ShellResult asSecond = RunShell("qpdf --show-encryption --password=second " + ShellQuote(path));
        EXPECT_NE(asSecond.out.find("Supplied password is owner password"), std::string::npos) << bits;
    }
}

}  // namespace
