// Embedded fonts are subsets: pdffonts reports each as one (tagged name), the embedded program's
// character map holds the characters shown and no others, the text reads as before and the
// pages look as MuPDF draws the XPS.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "engine_test_support.h"

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

constexpr const char* kShownFirst = "Quick zebras";
constexpr const char* kShownSecond = "jump 42";
// Characters that the package's font holds but no page shows.
constexpr const char* kNeverShown = "WXYV";

class PdfFontSubsetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("pdffonts", "pdftotext", "mutool", "fc-query", "compare");
        // The package's font holds the characters of every text added, shown or not: the text
        // that is never shown sits on a page the document lists but does not have, so the
        // engine never draws it.
        xpsfixture::XpsDocumentBuilder doc;
        int first = doc.AddPage(kPage1Width, kPage1Height);
        doc.AddText(first, 96, 200, 32, kShownFirst);
        int second = doc.AddPage(kPage1Width, kPage1Height);
        doc.AddText(second, 96, 300, 32, kShownSecond);
        int missing = doc.AddMissingPage(kPage1Width, kPage1Height);
        doc.AddText(missing, 96, 300, 32, kNeverShown);
        document_ = dir_ / "fonts.xps";
        ASSERT_TRUE(doc.WriteTo(document_));
        pdf_ = dir_ / "fonts.pdf";
        // The missing page makes the engine report a failed page (exit 1), nothing else.
        ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf_, document_});
        ASSERT_EQ(run.exitCode, 1) << run.err;
        ASSERT_TRUE(fs::exists(pdf_));
    }

    TempDir dir_;
    std::string document_;
    std::string pdf_;
};

// The characters (code points) in the character map of a font file, from fc-query's ranges.
std::set<unsigned> Charset(const std::string& font) {
    ShellResult r = RunShell("fc-query --format='%{charset}' " + ShellQuote(font));
    std::set<unsigned> result;
    std::istringstream ranges(r.out);
    std::string range;
    while (ranges >> range) {
        const size_t dash = range.find('-');
        const unsigned first = std::stoul(range.substr(0, dash), nullptr, 16);
        const unsigned last = dash == std::string::npos ? first : std::stoul(range.substr(dash + 1), nullptr, 16);
        for (unsigned c = first; c <= last; ++c) result.insert(c);
    }
    return result;
}

TEST_F(PdfFontSubsetTest, EveryEmbeddedFontIsASubsetHoldingTheCharactersShown) {
    ShellResult fonts = RunShell("pdffonts " + ShellQuote(pdf_));
    ASSERT_EQ(fonts.exitCode, 0) << fonts.err;
    std::istringstream lines(fonts.out);
    std::string line;
    int rows = 0;
    static const std::regex row("^([A-Z]{6})\\+\\S.*\\s(yes|no)\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+\\s*$");
    std::getline(lines, line);
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        ++rows;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, row)) << "not a tagged subset: " << line;
        EXPECT_EQ(m[2].str(), "yes") << "not embedded: " << line;
        EXPECT_EQ(m[3].str(), "yes") << "not a subset: " << line;
        EXPECT_EQ(m[4].str(), "yes") << "no ToUnicode map: " << line;
    }
    EXPECT_EQ(rows, 1) << fonts.out;

    // The embedded program, read by FreeType through fontconfig.
    ShellResult extract = RunShell("cd " + ShellQuote(dir_.str()) + " && mutool extract " + ShellQuote(pdf_));
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    std::string font;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
        if (entry.path().filename().string().rfind("font-", 0) == 0) font = entry.path().string();
    }
    ASSERT_FALSE(font.empty()) << "no font program extracted";
    std::set<unsigned> expected;
    for (const char* text : {kShownFirst, kShownSecond}) {
        for (const char* c = text; *c; ++c) expected.insert(static_cast<unsigned char>(*c));
    }
    std::set<unsigned> charset = Charset(font);
    for (const char* c = kNeverShown; *c; ++c) {
        EXPECT_EQ(charset.count(static_cast<unsigned char>(*c)), 0u) << "kept '" << *c << "'";
    }
    for (unsigned c : expected) EXPECT_EQ(charset.count(c), 1u) << "lost '" << static_cast<char>(c) << "'";
}

TEST_F(PdfFontSubsetTest, TextAndPixelsStayAsTheyWere) {
    for (int page : {1, 2}) {
        ShellResult text = RunShell("pdftotext -f " + std::to_string(page) + " -l " +
                                    std::to_string(page) + " " + ShellQuote(pdf_) + " -");
        EXPECT_EQ(text.out, std::string(page == 1 ? kShownFirst : kShownSecond) + "\n\n\f");
    }
    // MuPDF's drawing of the XPS against its drawing of the PDF, pages 1 and 2.
    for (int page : {1, 2}) {
        const std::string x = dir_ / "x.png";
        const std::string p = dir_ / "p.png";
        RunShell("mutool draw -q -r 96 -o " + ShellQuote(x) + " " + ShellQuote(document_) + " " + std::to_string(page));
        RunShell("mutool draw -q -r 96 -o " + ShellQuote(p) + " " + ShellQuote(pdf_) + " " + std::to_string(page));
        ShellResult r = RunShell("compare -metric RMSE " + ShellQuote(x) + " " + ShellQuote(p) + " null:");
        std::smatch m;
        const std::string out = r.err + r.out;
        ASSERT_TRUE(std::regex_search(out, m, std::regex("\\(([0-9.e+-]+)\\)"))) << out;
        EXPECT_LE(std::atof(m[1].str().c_str()), 0.01) << "page " << page;
    }
}

}  // namespace

namespace {

// The text layer is the markup's: each run's text comes out of pdftotext as its UnicodeString,
// whatever the font's own map says of the glyphs drawn and however clusters join characters
// and glyphs. Glyph numbers are written "<U+XXXX>": the glyph the font maps that character to.
// MuPDF's extraction reads glyph by glyph, passing over ActualText: it too reads every run as
// the markup writes it, simulated bold ones once.
struct MarkupRun {
    const char* text;
    const char* indices;
    int bidiLevel;
    const char* style = "";
    const char* fill = "#FF000000";
};

const MarkupRun kRuns[] = {
    {"well-known (a) [x]", "", 0},  // plain characters, glyphs from the font's map
    {"a-b", ";<U+2010>;", 0},       // a hyphen drawn with the glyph of U+2010
    // Arabic base letters drawn with their contextual forms, lam and alef as one ligature.
    {"\u0633\u0644\u0627\u0645", "<U+FEB3>;(2:1)<U+FEFC>;<U+FEE2>", 1},
    {"\U0001D44F", "(2:1)", 0},        // beyond U+FFFF: one glyph for two code units
    {"go \U0001F449", ";;;(2:1)", 0},  // an emoji on the same (missing) glyph
    {"caf\u00E9", ";;;(1:2)", 0},      // one character, two glyphs
    {"fit", "(2:1)", 0},               // two characters, one glyph
    {"abcd", "(2:2);;", 0},            // two characters, two glyphs together
    // Simulated bold: a glyph drawn as its outline, and a translucent ligature read from the right.
    {"Bold caf\u00E9", ";;;;;;;;(1:2)", 0, "BoldSimulation"},
    {"\u0633\u0644\u0627\u0645", "<U+FEB3>;(2:1)<U+FEFC>;<U+FEE2>", 1, "BoldItalicSimulation", "#80000000"},
};

// indices with each "<U+XXXX>" replaced by the font's glyph number for it; the characters
// named go into shapes.
std::string GlyphNumbers(std::string indices, std::string& shapes) {
    static const std::regex named("<U\\+([0-9A-F]{4})>");
    std::smatch m;
    while (std::regex_search(indices, m, named)) {
        const auto c = static_cast<char32_t>(std::stoul(m[1].str(), nullptr, 16));
        shapes += c < 0x800 ? std::string{static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))}
                            : std::string{static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                                          static_cast<char>(0x80 | (c & 0x3F))};
        indices.replace(m.position(0), m.length(0), std::to_string(xpsfixture::XpsDocumentBuilder::FontGlyph(c)));
    }
    return indices;
}

TEST(PdfTextLayerTest, TextReadsAsTheMarkupWritesIt) {
    REQUIRE_TOOLS("pdftotext", "mutool", "compare");
    TempDir dir;
    xpsfixture::XpsDocumentBuilder doc;
    const int page = doc.AddPage(kPage1Width, kPage1Height);
    double y = 80;
    for (const MarkupRun& run : kRuns) {
        std::string shapes;
        const std::string indices = GlyphNumbers(run.indices, shapes);
        doc.AddGlyphs(page, run.bidiLevel ? 400 : 60, y, 24, run.text, indices, run.bidiLevel, shapes,
                      run.style, run.fill);
        y += 60;
    }
    const std::string xps = dir / "text.xps";
    const std::string pdf = dir / "text.pdf";
    ASSERT_TRUE(doc.WriteTo(xps));
    ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, xps});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ShellResult text = RunShell("pdftotext -enc UTF-8 " + ShellQuote(pdf) + " -");
    ASSERT_EQ(text.exitCode, 0) << text.err;
    std::vector<std::string> lines;
    for (std::string line : Lines(text.out)) {
        // pdftotext puts right-to-left text between embedding marks (U+202B ... U+202C).
        for (const char* mark : {"\u202B", "\u202C"}) {
            for (size_t at; (at = line.find(mark)) != std::string::npos;) line.erase(at, 3);
        }
        if (!line.empty() && line != "\f") lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), std::size(kRuns)) << text.out;
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], kRuns[i].text) << "run " << i;

    ShellResult mupdf = RunShell("mutool draw -q -F txt -o - " + ShellQuote(pdf));
    ASSERT_EQ(mupdf.exitCode, 0) << mupdf.err;
    lines.clear();
    for (const std::string& line : Lines(mupdf.out)) {
        if (!line.empty() && line != "\f") lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), std::size(kRuns)) << mupdf.out;
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], kRuns[i].text) << "MuPDF, run " << i;

    // Codes added for a glyph's second text still draw that glyph: the line of "abcd", whose
    // first glyph stands for "a" here and for "b" elsewhere, looks as MuPDF draws the XPS; so
    // do the line of "café", whose second glyph for "é" is drawn as its outline, and the Arabic
    // lines, whose ligature shares its advance with an invisible glyph; and the simulated bold
    // lines. (The missing glyph of the lines beyond U+FFFF is drawn differently anyway.)
    const std::string x = dir / "x.png";
    const std::string p = dir / "p.png";
    RunShell("mutool draw -q -r 96 -o " + ShellQuote(x) + " " + ShellQuote(xps) + " 1");
    RunShell("mutool draw -q -r 96 -o " + ShellQuote(p) + " " + ShellQuote(pdf) + " 1");
    for (int index : {2, 5, 7, 8, 9}) {
        const std::string line = "[816x50+0+" + std::to_string(80 + 60 * index - 35) + "]";
        ShellResult r = RunShell("compare -metric RMSE " + ShellQuote(x + line) + " " + ShellQuote(p + line) + " null:");
        std::smatch m;
        const std::string out = r.err + r.out;
        ASSERT_TRUE(std::regex_search(out, m, std::regex("\\(([0-9.e+-]+)\\)"))) << out;
        EXPECT_LE(std::atof(m[1].str().c_str()), 0.01) << "run " << index;
    }
}

}  // namespace
