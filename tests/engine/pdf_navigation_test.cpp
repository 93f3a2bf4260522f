// What a PDF reader offers beyond the drawing: hyperlinks and their targets, bookmarks, the
// exact page boxes and the document information from the package, read back with MuPDF's
// script runner (links, outline), poppler (boxes, information) and qpdf.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "engine_test_support.h"

namespace {

using namespace enginetest;

// Lists every link ("link PAGE x0 y0 x1 y1 uri URI" or "... goto PAGE x y", page coordinates
// from the top left in points) and every outline entry ("outline DEPTH TITLE -> ...").
constexpr const char* kNavigationScript = R"js(
var doc = new Document(scriptArgs[0]);
if (scriptArgs.length > 1 && doc.needsPassword()) doc.authenticatePassword(scriptArgs[1]);
function f(v) { return (v === null || v === undefined || isNaN(v)) ? "-" : v.toFixed(2); }
function where(uri) {
  if (/^[a-zA-Z][a-zA-Z0-9+.-]*:/.test(uri)) return "uri " + uri;
  var d = doc.resolveLink(uri);
  if (!d || d.page < 0) return "nowhere";
  return "goto " + (d.page + 1) + " " + f(d.x) + " " + f(d.y);
}
for (var i = 0; i < doc.countPages(); i++) {
  var links = doc.loadPage(i).getLinks();
  for (var k = 0; k < links.length; k++) {
    var b = links[k].bounds;
    print("link " + (i + 1) + " " + f(b[0]) + " " + f(b[1]) + " " + f(b[2]) + " " + f(b[3]) +
          " " + where(links[k].uri));
  }
}
function walk(items, depth) {
  for (var i = 0; i < items.length; i++) {
    print("outline " + depth + " " + items[i].title + " -> " +
          (items[i].uri ? where(items[i].uri) : "none"));
    if (items[i].down) walk(items[i].down, depth + 1);
  }
}
var outline = doc.loadOutline();
if (outline) walk(outline, 1);
)js";

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
    }
    return found;
}

class PdfNavigationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("mutool", "pdfinfo", "qpdf");
        script_ = dir_ / "navigation.js";
        WriteFile(script_, kNavigationScript);
        document_ = dir_ / "navigation.xps";
        pdf_ = dir_ / "navigation.pdf";
    }

    void Convert(const xpsfixture::XpsDocumentBuilder& doc, std::vector<std::string> extra = {}) {
        ASSERT_TRUE(doc.WriteTo(document_));
        std::vector<std::string> args = {"-sDEVICE=pdfwrite", "-dNOPAUSE", "-dBATCH",
                                         "-sOutputFile=" + pdf_};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(document_);
        ShellResult run = RunEngine(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
    }

    std::string Tool(const std::string& command) {
        ShellResult r = RunShell(command);
        EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.err;
        return r.out;
    }

    std::string Navigation(const std::string& file, const std::string& password = "") {
        return Tool("mutool run " + ShellQuote(script_) + " " + ShellQuote(file) +
                    (password.empty() ? "" : " " + ShellQuote(password)));
    }

    static std::string Field(const std::string& info, const std::string& key) {
        std::regex line("(^|\n)" + key + ":[ ]*([^\n]*)");
        std::smatch m;
        return std::regex_search(info, m, line) ? m[2].str() : "<absent>";
    }

    TempDir dir_;
    std::string script_;
    std::string document_;
    std::string pdf_;
};

// Three letter pages: page 1 links out, to a named text on page 3 and (a canvas) to page 2's
// LinkTarget; page 2 links to "#Page3", which only the page number names; page 3 links to a
// name nobody has, which is left out.
xpsfixture::XpsDocumentBuilder LinkedDocument() {
    xpsfixture::XpsDocumentBuilder doc;
    for (int i = 0; i < 3; ++i) doc.AddPage(kPage1Width, kPage1Height);
    doc.AddLinkedRect(0, 96, 96, 192, 96, 0xFF0000, "https://example.com/a?b=1&c=2");
    doc.AddLinkedText(0, 96, 400, 24, "To the chapter", "#Chapter");
    doc.AddLinkedCanvas(0, 400, 600, 128, 64, 0x00FF00, "/Documents/1/FixedDocument.fdoc#Second");
    doc.AddLinkTarget(1, "Second");
    doc.AddLinkedRect(1, 96, 96, 96, 96, 0x0000FF, "#Page3");
    doc.AddNamedText(2, 200, 524, 24, "Chapter", "Chapter");
    doc.AddLinkedRect(2, 96, 96, 96, 96, 0x0000FF, "#Nowhere");
    return doc;
}

TEST_F(PdfNavigationTest, LinksBecomeAnnotationsOverTheirElementsWithWorkingTargets) {
    Convert(LinkedDocument());
    std::vector<std::string> links = LinesStartingWith(Navigation(pdf_), "link ");
    ASSERT_EQ(links.size(), 4u) << ::testing::PrintToString(links);
    // Positions in points (3/4 of the XPS units); the text's box is whatever its glyphs cover.
    EXPECT_EQ(links[0], "link 1 72.00 72.00 216.00 144.00 uri https://example.com/a?b=1&c=2");
    std::istringstream text(links[1]);
    std::string word, target;
    int page = 0;
    double x0, y0, x1, y1;
    text >> word >> page >> x0 >> y0 >> x1 >> y1;
    std::getline(text, target);
    EXPECT_EQ(page, 1);
    EXPECT_NEAR(x0, 72, 2);
    EXPECT_GT(x1, x0 + 100);
    EXPECT_LT(y0, 300);
    EXPECT_NEAR(y1, 300, 6);
    // The named Glyphs' top: origin 524 less the em size 24, at 3/4.
    EXPECT_EQ(target, " goto 3 150.00 375.00");
    EXPECT_EQ(links[2], "link 1 300.00 450.00 396.00 498.00 goto 2 0.00 0.00");
    EXPECT_EQ(links[3], "link 2 72.00 72.00 144.00 144.00 goto 3 0.00 0.00");

    // The raw objects, read by qpdf: one URI action, three destinations, no border.
    std::string json = Tool("qpdf --json=1 --json-key=objects " + ShellQuote(pdf_));
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = json.find(what); at != std::string::npos; at = json.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("\"/Subtype\": \"/Link\""), 4u);
    EXPECT_EQ(count("\"/S\": \"/URI\""), 1u);
    EXPECT_EQ(count("\"/Dest\": ["), 3u);
}

// Only web and mail addresses are handed to a reader to open, whatever the letter case; a
// link into another document never lands on this one's page; a fragment stays inside. What is
// left out is told once for the document.
TEST_F(PdfNavigationTest, OnlyAddressesAndPlacesInThisDocumentBecomeLinks) {
    xpsfixture::XpsDocumentBuilder doc;
    for (int i = 0; i < 2; ++i) doc.AddPage(kPage1Width, kPage1Height);
    const char* const uris[] = {"HTTP://example.com/x", "mailto:a@example.com", "ftp://example.com/f",
                                "javascript:app.alert(1)", "file:///etc/passwd", "data:text/html,x",
                                "launch:calc.exe", "rel/other.xps#Page2", "other.xps", "#Page2"};
    for (int i = 0; i < 10; ++i) doc.AddLinkedRect(0, 96, 48 + 96 * i, 48, 48, 0xFF0000, uris[i]);
    doc.AddLinkedCanvas(1, 96, 96, 48, 48, 0x00FF00, "vbscript:x");
    doc.AddOutlineEntry(1, "Elsewhere", "rel/other.xps#Page2");
    ASSERT_TRUE(doc.WriteTo(document_));
    const ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf_, document_});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "proc.dll: " + document_ +
                           ": 7 links left out: only http, https, ftp and mailto addresses and places in this "
                           "document become links (first: javascript:app.alert(1))\n");
    const std::string navigation = Navigation(pdf_);
    EXPECT_EQ(LinesStartingWith(navigation, "link "),
              (std::vector<std::string>{"link 1 72.00 36.00 108.00 72.00 uri HTTP://example.com/x",
                                        "link 1 72.00 108.00 108.00 144.00 uri mailto:a@example.com",
                                        "link 1 72.00 180.00 108.00 216.00 uri ftp://example.com/f",
                                        "link 1 72.00 684.00 108.00 720.00 goto 2 0.00 0.00"}));
    EXPECT_EQ(LinesStartingWith(navigation, "outline "), (std::vector<std::string>{"outline 1 Elsewhere -> none"}));
    const std::string json = Tool("qpdf --json=1 --json-key=objects " + ShellQuote(pdf_));
    for (const char* absent : {"/Launch", "/GoToR", "/JavaScript", "javascript", "file:", "other.xps"})
        EXPECT_EQ(json.find(absent), std::string::npos) << absent;
}

TEST_F(PdfNavigationTest, OutlineKeepsTitlesNestingAndTargets) {
    xpsfixture::XpsDocumentBuilder doc = LinkedDocument();
    doc.AddOutlineEntry(1, "Chapter one", "../FixedDocument.fdoc#Second");
    doc.AddOutlineEntry(2, "Section \xc3\xa9t\xc3\xa9 \xce\xb1\xce\xb2", "#Chapter");
    doc.AddOutlineEntry(3, "Deeper", "/Documents/1/FixedDocument.fdoc#Page3");
    doc.AddOutlineEntry(2, "Lost section", "#Nowhere");
    doc.AddOutlineEntry(1, "Appendix", "#Page1");
    // A level skipped nests one deeper only, and its siblings follow at that depth.
    doc.AddOutlineEntry(3, "Skipped a level", "#Page2");
    doc.AddOutlineEntry(2, "After the skip", "#Page3");
    Convert(doc);
    std::vector<std::string> outline = LinesStartingWith(Navigation(pdf_), "outline ");
    EXPECT_EQ(outline,
              (std::vector<std::string>{
                  "outline 1 Chapter one -> goto 2 0.00 0.00",
                  "outline 2 Section \xc3\xa9t\xc3\xa9 \xce\xb1\xce\xb2 -> goto 3 150.00 375.00",
                  "outline 3 Deeper -> goto 3 0.00 0.00",
                  "outline 2 Lost section -> none",
                  "outline 1 Appendix -> goto 1 0.00 0.00",
                  "outline 2 Skipped a level -> goto 2 0.00 0.00",
                  "outline 2 After the skip -> goto 3 0.00 0.00",
              }));
    // Every entry is open: the root counts all seven, the first chapter its three.
    std::string root = Tool("mutool show " + ShellQuote(pdf_) + " trailer/Root/Outlines");
    EXPECT_NE(root.find("/Count 7"), std::string::npos) << root;
    std::string first = Tool("mutool show " + ShellQuote(pdf_) + " trailer/Root/Outlines/First");
    EXPECT_NE(first.find("/Count 3"), std::string::npos) << first;
    // The non-ASCII title is UTF-16BE with its byte order mark.
    std::string second =
        Tool("mutool show " + ShellQuote(pdf_) + " trailer/Root/Outlines/First/First/Title");
    EXPECT_EQ(second.substr(0, 5), "<FEFF") << second;
}

// An outline far longer than real documents carry is cut at 5,000 entries with one warning;
// the rest of the document is written as usual. Its entries are read in one pass, and written
// on the smallest stack the engine gets.
TEST_F(PdfNavigationTest, LongOutlineIsCutWithOneWarning) {
    xpsfixture::XpsDocumentBuilder doc;
    doc.AddPage(kPage1Width, kPage1Height);
    doc.AddPage(kPage1Width, kPage1Height);
    const char* targets[] = {"#Page1", "#Page2", "#Nowhere"};
    const char* leadsTo[] = {"goto 1 0.00 0.00", "goto 2 0.00 0.00", "none"};
    std::vector<std::string> expected;
    for (int i = 0; i < 100000; ++i) {
        const int level = 1 + i % 4;
        std::string title = "T";
        title += std::to_string(i);
        doc.AddOutlineEntry(level, title, targets[i % 3]);
        if (i < 5000) {
            expected.push_back("outline " + std::to_string(level) + " " + title + " -> " +
                               leadsTo[i % 3]);
        }
    }
    ASSERT_TRUE(doc.WriteTo(document_));
    ShellResult run =
        RunEngineOnSmallStack({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf_, document_});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "proc.dll: " + document_ +
                           ": the outline has more than 5000 entries; only the first 5000 are "
                           "kept\n");
    EXPECT_EQ(LinesStartingWith(Navigation(pdf_), "outline "), expected);
    std::string json = Tool("qpdf --json --json-key=outlines " + ShellQuote(pdf_));
    size_t titles = 0;
    for (size_t at = json.find("\"title\""); at != std::string::npos;
         at = json.find("\"title\"", at + 1)) {
        ++titles;
    }
    EXPECT_EQ(titles, 5000u);
}

TEST_F(PdfNavigationTest, EncryptedFileKeepsLinksAndOutline) {
    xpsfixture::XpsDocumentBuilder doc = LinkedDocument();
    doc.AddOutlineEntry(1, "Chapter one", "#Second");
    Convert(doc, {"-sOwnerPassword=owner", "-sUserPassword=user", "-dEncryptionR=3",
                  "-dKeyLength=128", "-dPermissions=60"});
    std::string shown = Tool("qpdf --show-encryption --password=user " + ShellQuote(pdf_));
    ASSERT_NE(shown.find("R = 3\n"), std::string::npos) << shown;
    std::string navigation = Navigation(pdf_, "user");
    std::vector<std::string> links = LinesStartingWith(navigation, "link ");
    ASSERT_EQ(links.size(), 4u) << navigation;
    EXPECT_EQ(links[0], "link 1 72.00 72.00 216.00 144.00 uri https://example.com/a?b=1&c=2");
    EXPECT_EQ(links[3], "link 2 72.00 72.00 144.00 144.00 goto 3 0.00 0.00");
    EXPECT_EQ(LinesStartingWith(navigation, "outline "),
              (std::vector<std::string>{"outline 1 Chapter one -> goto 2 0.00 0.00"}));
}

// The whole converter: its post-processor stamps the overlay into the encrypted file and
// must keep what the engine wrote; a title given on the command line beats the package's.
TEST_F(PdfNavigationTest, ConverterOverlayKeepsLinksOutlineAndGivenTitle) {
    REQUIRE_TOOLS("pdftotext");
    xpsfixture::XpsDocumentBuilder doc = LinkedDocument();
    doc.AddOutlineEntry(1, "Chapter one", "#Second");
    doc.AddCoreProperty("dc:title", "Package title");
    doc.AddCoreProperty("dc:creator", "Package author");
    ASSERT_TRUE(doc.WriteTo(document_));
    const std::string out = dir_ / "out";
    std::filesystem::create_directory(out);
    ShellResult run = RunProgram(BuiltBinDir() + platform::kSeparator + ProgramFile("xpsconv"),
                                 "-i " + ArgQuote(document_) + " -t pdf -o " + ArgQuote(out) +
                                     " -pt " + ArgQuote("Given title") +
                                     " -pu secret -pl 128 -wt STAMPED");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string pdf = out + "/navigation.pdf";
    std::string navigation = Navigation(pdf, "secret");
    EXPECT_EQ(LinesStartingWith(navigation, "link ").size(), 4u) << navigation;
    EXPECT_EQ(LinesStartingWith(navigation, "outline "),
              (std::vector<std::string>{"outline 1 Chapter one -> goto 2 0.00 0.00"}));
    std::string info = Tool("pdfinfo -upw secret " + ShellQuote(pdf));
    EXPECT_EQ(Field(info, "Title"), "Given title");
    EXPECT_EQ(Field(info, "Author"), "Package author");
    EXPECT_NE(Tool("pdftotext -upw secret " + ShellQuote(pdf) + " -").find("STAMPED"),
              std::string::npos);
}

TEST_F(PdfNavigationTest, PageBoxesAreTheFixedPageSizesToTheHundredthOfAPoint) {
    xpsfixture::XpsDocumentBuilder doc;
    doc.AddPage(793.7, 1122.5);     // A4 as it is often written: 595.275 x 841.875 pt, not the
                                    // 594.75 x 841.5 of whole units
    doc.AddPage(793.701, 1122.52);  // A4 nearer its true size, 595.28 x 841.89 pt
    int boxed = doc.AddPage(kPage1Width, kPage1Height);
    doc.SetPageBoxes(boxed, "8,16,800,1024", "96,48,624,960");
    int bleeding = doc.AddPage(kPage1Width, kPage1Height);
    doc.SetPageBoxes(bleeding, "-12,-12,840,1080", "");
    doc.StoreInPieces(doc.AddPage(793.701, 1122.52));  // read whatever the part's storage
    for (int page = 0; page < doc.PageCount(); ++page) doc.AddRect(page, 96, 96, 96, 96, 0xFF0000);
    Convert(doc);
    std::string boxes = Tool("pdfinfo -box -f 1 -l 5 " + ShellQuote(pdf_));
    EXPECT_EQ(Field(boxes, "Page    1 MediaBox"), "0.00     0.00   595.28   841.88");
    EXPECT_EQ(Field(boxes, "Page    2 MediaBox"), "0.00     0.00   595.28   841.89");
    EXPECT_EQ(Field(boxes, "Page    3 MediaBox"), "0.00     0.00   612.00   792.00");
    EXPECT_EQ(Field(boxes, "Page    5 MediaBox"), "0.00     0.00   595.28   841.89");
    // The bleed box in points with y upwards; the content box becomes trim and art box.
    EXPECT_EQ(Field(boxes, "Page    3 BleedBox"), "6.00    12.00   606.00   780.00");
    EXPECT_EQ(Field(boxes, "Page    3 TrimBox"), "72.00    36.00   540.00   756.00");
    EXPECT_EQ(Field(boxes, "Page    3 ArtBox"), "72.00    36.00   540.00   756.00");
    // A bleed beyond the page is cut to it; without a content box there is no trim box.
    EXPECT_EQ(Field(boxes, "Page    4 BleedBox"), "0.00     0.00   612.00   792.00");
    std::string fourth = Tool("mutool show " + ShellQuote(pdf_) + " pages/4");
    EXPECT_EQ(fourth.find("/TrimBox"), std::string::npos) << fourth;
    EXPECT_EQ(Tool("mutool show " + ShellQuote(pdf_) + " pages/1").find("/BleedBox"),
              std::string::npos);

    // The content stays anchored at the top left of the exact page.
    std::string prefix = dir_ / "a4";
    Tool("pdftoppm -r 96 -f 1 -l 1 " + ShellQuote(pdf_) + " " + ShellQuote(prefix));
    DecodedImage page;
    ASSERT_TRUE(ReadPnm(prefix + "-1.ppm", page));
    EXPECT_TRUE(Near(page.At(98, 98), Rgb(0xFF0000)));
    EXPECT_TRUE(Near(page.At(190, 190), Rgb(0xFF0000)));
    EXPECT_TRUE(Near(page.At(94, 94), Rgb(0xFFFFFF)));
    EXPECT_TRUE(Near(page.At(194, 194), Rgb(0xFFFFFF)));
}

xpsfixture::XpsDocumentBuilder DocumentWithCoreProperties() {
    xpsfixture::XpsDocumentBuilder doc;
    int page = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddRect(page, 96, 96, 96, 96, 0xFF0000);
    doc.AddCoreProperty("dc:title", "Core title \xc3\xa9");
    doc.AddCoreProperty("dc:subject", "Core subject");
    doc.AddCoreProperty("dc:creator", "Core Author");
    doc.AddCoreProperty("cp:keywords", "alpha, beta");
    doc.AddCoreProperty("dcterms:created", "2006-07-11T23:11:41Z");
    doc.AddCoreProperty("dcterms:modified", "2021-03-04T05:06:07.25+02:00");
    return doc;
}

TEST_F(PdfNavigationTest, CorePropertiesFillTheDocumentInformation) {
    Convert(DocumentWithCoreProperties(), {"-wProducer=(Quorbex Tavrin)"});
    std::string info = Tool("pdfinfo -enc UTF-8 " + ShellQuote(pdf_));
    EXPECT_EQ(Field(info, "Title"), "Core title \xc3\xa9");
    EXPECT_EQ(Field(info, "Subject"), "Core subject");
    EXPECT_EQ(Field(info, "Author"), "Core Author");
    EXPECT_EQ(Field(info, "Keywords"), "alpha, beta");
    EXPECT_EQ(Field(info, "Producer"), "Quorbex Tavrin");
    EXPECT_EQ(Field(info, "Creator"), "<absent>");
    std::string dates = Tool("pdfinfo -isodates " + ShellQuote(pdf_));
    EXPECT_EQ(Field(dates, "CreationDate"), "2006-07-11T23:11:41Z");
    EXPECT_EQ(Field(dates, "ModDate"), "2021-03-04T05:06:07+02");
    std::string raw = Tool("mutool show " + ShellQuote(pdf_) + " trailer/Info");
    EXPECT_NE(raw.find("(D:20210304050607+02'00')"), std::string::npos) << raw;
}

TEST_F(PdfNavigationTest, GivenInformationWinsOverCoreProperties) {
    Convert(DocumentWithCoreProperties(),
            {"-wTitle=(Given title)", "-wAuthor=(Given author)", "-wProducer=(P)"});
    std::string info = Tool("pdfinfo -enc UTF-8 " + ShellQuote(pdf_));
    EXPECT_EQ(Field(info, "Title"), "Given title");
    EXPECT_EQ(Field(info, "Author"), "Given author");
    EXPECT_EQ(Field(info, "Subject"), "Core subject");
    EXPECT_EQ(Field(info, "Keywords"), "alpha, beta");
    EXPECT_EQ(Field(info, "Producer"), "P");
}

TEST_F(PdfNavigationTest, DateOnlyAndBrokenTimesOfCorePropertiesAreReadOrLeftOut) {
    xpsfixture::XpsDocumentBuilder doc;
    doc.AddPage(kPage1Width, kPage1Height);
    doc.AddCoreProperty("dcterms:created", "2019-02-28");
    doc.AddCoreProperty("dcterms:modified", "yesterday at noon");
    Convert(doc);
    std::string raw = Tool("mutool show " + ShellQuote(pdf_) + " trailer/Info");
    EXPECT_NE(raw.find("/CreationDate (D:20190228000000)"), std::string::npos) << raw;
    EXPECT_EQ(raw.find("/ModDate"), std::string::npos) << raw;
    EXPECT_EQ(raw.find("/Title"), std::string::npos) << raw;
}

TEST_F(PdfNavigationTest, CorpusLinkDocumentKeepsItsNineLinksAndElevenBookmarks) {
    const std::string document = SourceDir() + "/../shared/corpus/minbar/mb06.xps";
    if (!std::filesystem::exists(document)) GTEST_SKIP() << document << " is absent";
    std::vector<std::string> args = {"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf_, document};
    ShellResult run = RunEngine(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string fromPdf = Navigation(pdf_);
    std::vector<std::string> links = LinesStartingWith(fromPdf, "link ");
    ASSERT_EQ(links.size(), 9u) << fromPdf;
    // Each GoTo lands on the page MuPDF finds for the link over the same area of the XPS page.
    std::map<std::string, std::string> xpsTargets;
    std::regex split("^(link \\d+ \\S+ \\S+ \\S+ \\S+) (goto (\\d+)|uri .*)");
    for (const std::string& line : LinesStartingWith(Navigation(document), "link ")) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(line, m, split)) << line;
        xpsTargets[m[1].str()] = m[3].matched ? m[3].str() : "external";
    }
    ASSERT_EQ(xpsTargets.size(), 9u);
    int internal = 0;
    for (const std::string& line : links) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(line, m, split)) << line;
        ASSERT_EQ(xpsTargets.count(m[1].str()), 1u) << line;
        EXPECT_EQ(xpsTargets[m[1].str()], m[3].matched ? m[3].str() : "external") << line;
        internal += m[3].matched;
    }
    EXPECT_EQ(internal, 6);
    std::vector<std::string> outline = LinesStartingWith(fromPdf, "outline ");
    ASSERT_EQ(outline.size(), 11u) << fromPdf;
    EXPECT_EQ(outline[0], "outline 1 Title -> goto 1 75.00 49.50");
    EXPECT_EQ(outline[2].substr(0, 18), "outline 3 Outline ");
    EXPECT_EQ(outline[10].substr(0, 28), "outline 2 Digital Signature ");
}

}  // namespace
