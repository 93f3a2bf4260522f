// Encrypted files keep their security settings and passwords through the overlay.

#include <string>

#include "postproc/postproc_fixture.h"

namespace postproc_test {
namespace {

struct EncryptionCase {
    const char* name;
    const char* qpdfArguments;  // after "--encrypt USER OWNER"
    const char* user;           // password given to qpdf
    const char* owner;
    const char* passUser;  // passwords the post-processor receives
    const char* passOwner;
};

// The key length in bits, read from the /Encrypt dictionary as qpdf's JSON shows it.
std::string KeyLength(const std::filesystem::path& pdf, const std::string& password) {
    std::string json;
    RunCommand(
        "qpdf --json --json-key=encrypt --password=" + ShellQuote(password) + " " + ShellQuote(pdf.string()),
        &json);
    const size_t at = json.find("\"bits\":");
    return at == std::string::npos ? "" : json.substr(at, json.find_first_of(",\n}", at) - at);
}

class EncryptedStampTest : public PostProcessorTest,
                           public ::testing::WithParamInterface<EncryptionCase> {};

TEST_P(EncryptedStampTest, KeepsRevisionKeyLengthPermissionsAndPasswords) {
    const EncryptionCase& c = GetParam();
    const TestPage page{"BT /F1 12 Tf 20 100 Td (Secret page) Tj ET"};
    WriteBytes(Path("plain.pdf"), MakePdf({page, page}));
    ASSERT_EQ(RunCommand(std::string("qpdf --allow-weak-crypto --encrypt ") + ShellQuote(c.user) + " " +
                         ShellQuote(c.owner) + " " + c.qpdfArguments + " -- " +
                         ShellQuote(Path("plain.pdf").string()) + " " + ShellQuote(Path("a.pdf").string())),
              0);
    const std::string reportBefore = EncryptionReport(Path("a.pdf"), c.owner);
    const std::string keyBefore = KeyLength(Path("a.pdf"), c.owner);
    ASSERT_NE(reportBefore, "<cannot open>");
    ASSERT_FALSE(keyBefore.empty());

    Overlay overlay;
    overlay.text = "Confidential";
    ASSERT_EQ(Stamp(Path("a.pdf"), overlay, c.passUser, c.passOwner), 1);

    EXPECT_EQ(EncryptionReport(Path("a.pdf"), c.owner), reportBefore);
    EXPECT_EQ(KeyLength(Path("a.pdf"), c.owner), keyBefore);
    if (std::string(c.user).empty()) {
        EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote(Path("a.pdf").string())), 0);
    } else {
        EXPECT_NE(RunCommand("qpdf --check " + ShellQuote(Path("a.pdf").string())), 0)
            << "the user password must still be required";
        EXPECT_EQ(RunCommand("qpdf --check --password=" + ShellQuote(c.user) + " " +
                             ShellQuote(Path("a.pdf").string())),
                  0);
    }
    EXPECT_NE(RunCommand("qpdf --check --password=wrong-password " + ShellQuote(Path("a.pdf").string())),
              0);
    for (int number = 1; number <= 2; ++number) {
        const std::string text = PageText(Path("a.pdf"), number, c.user);
        EXPECT_NE(text.find("Confidential"), std::string::npos) << "page " << number;
        EXPECT_NE(text.find("Secret page"), std::string::npos) << "page " << number;
    }
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.pdf", "plain.pdf"}));
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, EncryptedStampTest,
    ::testing::Values(
        EncryptionCase{"Rc4Bits40", "40 --print=n --modify=n --extract=n", "user40", "owner40",
                       "user40", "owner40"},
        EncryptionCase{"Rc4Bits128", "128 --use-aes=n --print=none --modify=none --extract=n",
                       "user128", "owner128", "user128", "owner128"},
        // The converter gives an empty owner password when the engine used its default one.
        EncryptionCase{"UserPasswordOnly", "128 --use-aes=n --modify=none", "only-user", "tirvane",
                       "only-user", ""},
        // Without a user password the owner password is the only one the call knows.
        EncryptionCase{"OwnerPasswordOnly", "128 --use-aes=n --print=low --annotate=n", "",
                       "only-owner", "", "only-owner"},
        EncryptionCase{"Aes128", "128 --use-aes=y --extract=n", "aes-user", "aes-owner", "aes-user",
                       "aes-owner"}),
    [](const ::testing::TestParamInfo<EncryptionCase>& info) { return info.param.name; });

TEST_F(PostProcessorTest, WrongPasswordsFailAndLeaveTheEncryptedFileAlone) {
    const TestPage page{"BT /F1 12 Tf 20 100 Td (Secret page) Tj ET"};
    WriteBytes(Path("plain.pdf"), MakePdf({page}));
    ASSERT_EQ(RunCommand("qpdf --allow-weak-crypto --encrypt right owner 128 --use-aes=n -- " +
                         ShellQuote(Path("plain.pdf").string()) + " " + ShellQuote(Path("a.pdf").string())),
              0);
    const std::string before = ReadBytes(Path("a.pdf"));
    EXPECT_EQ(Stamp(Path("a.pdf"), Overlay{}, "wrong", "also-wrong"), 0);
    EXPECT_EQ(Stamp(Path("a.pdf"), Overlay{}), 0);
    EXPECT_EQ(ReadBytes(Path("a.pdf")), before);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.pdf", "plain.pdf"}));
}

}  // namespace
}  // namespace postproc_test
