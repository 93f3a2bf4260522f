// The exported entries and the cases where the file must stay exactly as it was.

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "postproc/postproc_fixture.h"
#include "support/test_paths.h"

namespace postproc_test {
namespace {

const TestPage kTextPage{"BT /F1 12 Tf 20 100 Td (Hello page) Tj ET"};

TEST_F(PostProcessorTest, ExportsExactlyTheThreeOrdinalsAndReportsItsVersion) {
    EXPECT_EQ(version_(), postproc_abi::kInterfaceVersion);
    const std::string library = BuiltBinDir() + "/mstar.dll";
#ifdef _WIN32
    // By number alone: the export table holds entries 1 to 3 and not one name.
    std::string dump;
    ASSERT_EQ(RunCommand("x86_64-w64-mingw32-objdump -p " + ShellQuote(library), &dump), 0);
    std::vector<int> ordinals;
    std::string names = "<no name table>";
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        const size_t base = line.find("+base[");
        if (base != std::string::npos) ordinals.push_back(std::atoi(line.c_str() + base + 6));
        if (line.find("[Name Pointer/Ordinal] Table") != std::string::npos)
            names = line.substr(line.find_last_of(" \t") + 1);
    }
    EXPECT_EQ(ordinals, (std::vector<int>{1, 2, 3})) << dump;
    EXPECT_EQ(names, "00000000") << dump;
#else
    std::string symbols;
    ASSERT_EQ(RunCommand("nm -D --defined-only " + ShellQuote(library) + " | awk '{print $3}' | sort", &symbols), 0);
    EXPECT_EQ(symbols, "mstar_ordinal_1\nmstar_ordinal_2\nmstar_ordinal_3\n");
#endif
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
    EXPECT_STREQ(lastFailure_(), "");
    EXPECT_EQ(
        postProcess_(nullptr, nullptr, nullptr, 0, nullptr, 1, "Stamp", 255, 16, -1, 0, 0, 0, 0),
        0);
    EXPECT_STREQ(lastFailure_(), "no file was named");
}

TEST_F(PostProcessorTest, UnreadableInputFailsAndLeavesTheBytesAsTheyWere) {
    Overlay overlay;
    EXPECT_EQ(Stamp(Path("missing.pdf"), overlay), 0);
    EXPECT_TRUE(FolderEntries().empty()) << "no file may appear";
    // The reason names the file and says what is wrong with it.
    EXPECT_NE(std::string(lastFailure_()).find("missing.pdf"), std::string::npos) << lastFailure_();

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
    namespace fs = std::filesystem;
#ifdef _WIN32
    // No modes on Windows, only the read-only attribute they are read from: the file stays
    // writable, as it was.
    const fs::perms kept = fs::status(Path("a.pdf")).permissions() & fs::perms::all;
#else
    const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(Path("a.pdf"), kept);
#endif
    Overlay overlay;
    overlay.text = "Internal Copy";
    ASSERT_EQ(Stamp(Path("a.pdf"), overlay), 1);

    for (int page = 1; page <= 3; ++page) {
        const std::string text = PageText(Path("a.pdf"), page);
        EXPECT_NE(text.find("Internal Copy"), std::string::npos) << "page " << page;
        EXPECT_NE(text.find("Hello page"), std::string::npos) << "page " << page;
    }
    EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote(Path("a.pdf").string())), 0);
    std::string fonts;
    RunCommand("pdffonts " + ShellQuote(Path("a.pdf").string()), &fonts);
    EXPECT_NE(fonts.find("Helvetica"), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("WinAnsi"), std::string::npos) << fonts;
    EXPECT_EQ(fs::status(Path("a.pdf")).permissions() & fs::perms::all, kept);
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
    RunCommand("pdffonts " + ShellQuote(Path("a.pdf").string()), &fonts);
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
