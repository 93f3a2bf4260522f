// Stamping the same file with the same overlay gives the same bytes, plain, RC4 or AES, and an
// AES-256 file (revision 6) stays one: made by qpdf or by the engine, it keeps its revision,
// methods and passwords through the stamp.

#include <string>

#include "postproc/postproc_fixture.h"
#include "support/test_paths.h"
#include "support/test_support.h"
#include "support/xps_fixture.h"

namespace postproc_test {
namespace {

class StampRepeatabilityTest : public PostProcessorTest {
  protected:
    // Stamps two copies of source and checks that they come out the same.
    std::string StampTwice(const std::string& source, const std::string& user,
                           const std::string& owner) {
        Overlay overlay;
        overlay.text = "Reviewed copy";
        overlay.position = 8;  // bottom centre
        std::string results[2];
        for (int i = 0; i < 2; ++i) {
            const auto copy = Path("copy" + std::to_string(i) + ".pdf");
            WriteBytes(copy, ReadBytes(Path(source)));
            EXPECT_EQ(Stamp(copy, overlay, user, owner), 1) << source;
            results[i] = ReadBytes(copy);
        }
        EXPECT_TRUE(results[0] == results[1]) << source << " stamped twice differs";
        EXPECT_FALSE(results[0] == ReadBytes(Path(source))) << source << " was not stamped";
        return results[0];
    }
};

TEST_F(StampRepeatabilityTest, PlainRc4AndAesFilesStampToTheSameBytes) {
    const TestPage page{"BT /F1 12 Tf 20 100 Td (Stamped page) Tj ET"};
    WriteBytes(Path("plain.pdf"), MakePdf({page, page}));
    ASSERT_EQ(RunCommand("qpdf --allow-weak-crypto --encrypt u o 128 --use-aes=n -- " +
                         ShellQuote(Path("plain.pdf").string()) + " " + ShellQuote(Path("rc4.pdf").string())),
              0);
    ASSERT_EQ(RunCommand("qpdf --encrypt u o 256 --print=none -- " + ShellQuote(Path("plain.pdf").string()) +
                         " " + ShellQuote(Path("aes.pdf").string())),
              0);
    StampTwice("plain.pdf", "", "");
    StampTwice("rc4.pdf", "u", "o");
    const std::string before = EncryptionReport(Path("aes.pdf"), "o");
    ASSERT_NE(before.find("R = 6\n"), std::string::npos) << before;
    WriteBytes(Path("stamped.pdf"), StampTwice("aes.pdf", "u", "o"));
    EXPECT_EQ(EncryptionReport(Path("stamped.pdf"), "o"), before);
    EXPECT_NE(PageText(Path("stamped.pdf"), 2, "u").find("Reviewed copy"), std::string::npos);
    EXPECT_NE(RunCommand("qpdf --check " + ShellQuote(Path("stamped.pdf").string())), 0)
        << "the user password must still be required";
    EXPECT_EQ(RunCommand("qpdf --check --password=o " + ShellQuote(Path("stamped.pdf").string())), 0);
}

// The engine's own AES-256 file, with the user password the call gets and an owner password it
// does not know (the converter passes none when it chose it).
TEST_F(StampRepeatabilityTest, TheEnginesAesFileStaysRevision6AndRepeatable) {
    xpsfixture::XpsDocumentBuilder doc;
    doc.AddText(doc.AddPage(816, 1056), 96, 200, 24, "Engine page");
    ASSERT_TRUE(doc.WriteTo(Path("doc.xps").string()));
    const ShellResult engine =
        RunProgram(BuiltBinDir() + "/proc.dll",
                   "-sDEVICE=pdfwrite " + ArgQuote("-sOutputFile=" + Path("aes.pdf").string()) +
                       " -sOwnerPassword=chosen-owner -sUserPassword=reader -dEncryptionR=6 "
                       "-dKeyLength=256 -dPermissions=60 " + ArgQuote(Path("doc.xps").string()));
    ASSERT_EQ(engine.exitCode, 0) << engine.err;
    const std::string before = EncryptionReport(Path("aes.pdf"), "reader");
    ASSERT_NE(before.find("file encryption method: AESv3"), std::string::npos) << before;
    WriteBytes(Path("stamped.pdf"), StampTwice("aes.pdf", "reader", ""));
    EXPECT_EQ(EncryptionReport(Path("stamped.pdf"), "reader"), before);
    std::string owner;
    RunCommand("qpdf --show-encryption --password=chosen-owner " + ShellQuote(Path("stamped.pdf").string()),
               &owner);
    EXPECT_NE(owner.find("Supplied password is owner password"), std::string::npos) << owner;
    const std::string text = PageText(Path("stamped.pdf"), 1, "reader");
    EXPECT_NE(text.find("Engine page"), std::string::npos) << text;
    EXPECT_NE(text.find("Reviewed copy"), std::string::npos) << text;
}

}  // namespace
}  // namespace postproc_test
