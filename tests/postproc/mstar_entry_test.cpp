// The exported entries and the cases where the file must stay exactly as it was.

#include <string>

#include "postproc/postproc_fixture.h"
#include "support/test_paths.h"

namespace postproc_test {
namespace {

const TestPage kTextPage{"BT /F1 12 Tf 20 100 Td (Hello page) Tj ET"};

TEST_F(PostProcessorTest, ExportsExactlyTheTwoOrdinalsAndReportsVersionOne) {
    EXPECT_EQ(version_(), 1);
    std::string symbols;
    ASSERT_EQ(RunCommand("nm -D --defined-only " + Quote(BuiltBinDir() + "/mstar.dll") +
                             " | awk '{print $3}' | sort",
                         &symbols),
              0);
    EXPECT_EQ(symbols, "mstar_ordinal_1\nmstar_ordinal_2\n");
}

TEST_F(PostProcessorTest, WithoutOverlayTheFileIsLeftUntouched) {
    // Not even a PDF: proof that nothing reads or rewrites it.
    const std::string garbage = "not a pdf at all";
    WriteBytes(Path("a.pdf"), garbage);
    Overlay off;
    off.on = false;
    EXPECT_EQ(Stamp(Path("a.pdf"), off), 1);

    Overlay emptyText;
    emptyText.text.clear();
    EXPECT_EQ(Stamp(Path("a.pdf"), emptyText), 1);

    EXPECT_EQ(postProcess_(Path("a.pdf").string().c_str(), nullptr, nullptr, 0, nullptr, 1, nullptr,
                           255, 16, -1, 0, 0, 0, 0),
              1);
    EXPECT_EQ(ReadBytes(Path("a.pdf")), garbage);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"a.pdf"});
}

TEST_F(PostProcessorTest, NullPointersCountAsEmptyTexts) {
    WriteBytes(Path("a.pdf"), MakePdf({kTextPage}));
    EXPECT_EQ(postProcess_(Path("a.pdf").string().c_str(), nullptr, nullptr, 0, nullptr, 1, "Stamp",
                           255, 16, -1, 0, 0, 0, 0),
              1);
    EXPECT_NE(PageText(Path("a.pdf"), 1).find("Stamp"), std::string::npos);
    EXPECT_EQ(
        postProcess_(nullptr, nullptr, nullptr, 0, nullptr, 1, "Stamp", 255, 16, -1, 0, 0, 0, 0),
        0);
}

TEST_F(PostProcessorTest, UnreadableInputFailsAndLeavesTheBytesAsTheyWere) {
    Overlay overlay;
    EXPECT_EQ(Stamp(Path("missing.pdf"), overlay), 0);
    EXPECT_TRUE(FolderEntries().empty()) << "no file may appear";

    const std::string whole = MakePdf({kTextPage, kTextPage});
    const std::string truncated = whole.substr(0, whole.size() * 2 / 3);
    WriteBytes(Path("truncated.pdf"), truncated);
    EXPECT_EQ(Stamp(Path("truncated.pdf"), overlay), 0);
    EXPECT_EQ(ReadBytes(Path("truncated.pdf")), truncated);

    const std::string noise = "%PDF-1.4\n" + std::string(500, '\x7f') + "\n%%EOF\n";
    WriteBytes(Path("noise.pdf"), noise);
    EXPECT_EQ(Stamp(Path("noise.pdf"), overlay), 0);
    EXPECT_EQ(ReadBytes(Path("noise.pdf")), noise);

    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"noise.pdf", "truncated.pdf"}))
        << "temporary files must be cleaned up";
}

TEST_F(PostProcessorTest, StampsEveryPageAndKeepsContentFontAndPermissions) {
    WriteBytes(Path("a.pdf"), MakePdf({kTextPage, kTextPage, kTextPage}));
    std::filesystem::permissions(Path("a.pdf"), std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::owner_write |
                                                    std::filesystem::perms::group_read);
    Overlay overlay;
    overlay.text = "Internal Copy";
    ASSERT_EQ(Stamp(Path("a.pdf"), overlay), 1);

    for (int page = 1; page <= 3; ++page) {
        const std::string text = PageText(Path("a.pdf"), page);
        EXPECT_NE(text.find("Internal Copy"), std::string::npos) << "page " << page;
        EXPECT_NE(text.find("Hello page"), std::string::npos) << "page " << page;
    }
    EXPECT_EQ(RunCommand("qpdf --check " + Quote(Path("a.pdf").string())), 0);
    std::string fonts;
    RunCommand("pdffonts " + Quote(Path("a.pdf").string()), &fonts);
    EXPECT_NE(fonts.find("Helvetica"), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("WinAnsi"), std::string::npos) << fonts;
    EXPECT_EQ(std::filesystem::status(Path("a.pdf")).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"a.pdf"});
}

TEST_F(PostProcessorTest, InheritedAttributesAndExistingFontNamesAreRespected) {
    // The first page inherits its media box and resources from the page tree; the second uses a
    // font under the name the overlay would like to take.
    TestPage first{"BT /F1 12 Tf 20 100 Td (First page) Tj ET", ""};
    TestPage second{"BT /MstarOverlayHelvetica 12 Tf 20 100 Td (Second page) Tj ET", "",
                    "/Resources << /Font << /MstarOverlayHelvetica 3 0 R >> >>"};
    WriteBytes(Path("a.pdf"), MakePdf({first, second}, true));
    Overlay overlay;
    overlay.text = "Overlay";
    ASSERT_EQ(Stamp(Path("a.pdf"), overlay), 1);

    const std::string page1 = PageText(Path("a.pdf"), 1);
    const std::string page2 = PageText(Path("a.pdf"), 2);
    EXPECT_NE(page1.find("First page"), std::string::npos);
    EXPECT_NE(page1.find("Overlay"), std::string::npos);
    EXPECT_NE(page2.find("Second page"), std::string::npos);
    EXPECT_NE(page2.find("Overlay"), std::string::npos);
    // The page's own text stays in its Courier font: pdffonts lists both fonts.
    std::string fonts;
    RunCommand("pdffonts " + Quote(Path("a.pdf").string()), &fonts);
    EXPECT_NE(fonts.find("Courier"), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("Helvetica"), std::string::npos) << fonts;
}

TEST_F(PostProcessorTest, SpecialAndWinAnsiCharactersReachTheReader) {
    WriteBytes(Path("a.pdf"), MakePdf({kTextPage}));
    Overlay overlay;
    overlay.text = "Caf\xE9 (v2) \\ 50\x80";
    ASSERT_EQ(Stamp(Path("a.pdf"), overlay), 1);
    EXPECT_NE(PageText(Path("a.pdf"), 1).find("Caf\xC3\xA9 (v2) \\ 50\xE2\x82\xAC"),
              std::string::npos)
        << PageText(Path("a.pdf"), 1);
}

}  // namespace
}  // namespace postproc_test
