// The pdfwrite device keeps what MuPDF shows of the XPS page: gradients, tiled brushes, opacity
// masks and line caps are compared, page by page, between MuPDF's rendering of the XPS and of
// the PDF; shadings and tiles stay vectors, arcs curves, text stays text, an image used often is
// stored once.

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <regex>
#include <set>
#include <sstream>

#include "engine_test_support.h"

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

const std::string kCorpus = SourceDir() + "/../shared/corpus";
constexpr double kMaxRmse = 0.03;  // normalised root mean square error at 40 dots per inch

// The normalised RMSE of each page, MuPDF's rendering of the PDF against that of the XPS.
std::vector<double> PageRmse(const std::string& xps, const std::string& pdf, const TempDir& dir) {
    std::string x = dir / "x%03d.png";
    std::string p = dir / "p%03d.png";
    RunShell("mutool draw -q -r 40 -o " + ShellQuote(x) + " " + ShellQuote(xps));
    RunShell("mutool draw -q -r 40 -o " + ShellQuote(p) + " " + ShellQuote(pdf));
    std::vector<double> errors;
    for (int page = 1;; ++page) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d.png", page);
        std::string reference = dir / (std::string("x") + name);
        std::string ours = dir / (std::string("p") + name);
        if (!fs::exists(reference)) break;
        if (!fs::exists(ours)) {
            errors.push_back(1.0);
            continue;
        }
        ShellResult r = RunShell("compare -metric RMSE " + ShellQuote(reference) + " " +
                                 ShellQuote(ours) + " null:");
        std::smatch m;
        std::string text = r.err + r.out;
        errors.push_back(std::regex_search(text, m, std::regex("\\(([0-9.e+-]+)\\)"))
                             ? std::atof(m[1].str().c_str())
                             : 1.0);
        fs::remove(reference);
        fs::remove(ours);
    }
    return errors;
}

void ExpectFaithful(const std::string& xps, const std::string& pdf, const TempDir& dir) {
    std::vector<double> errors = PageRmse(xps, pdf, dir);
    ASSERT_FALSE(errors.empty()) << "MuPDF drew no page of " << xps;
    for (size_t i = 0; i < errors.size(); ++i) {
        EXPECT_LE(errors[i], kMaxRmse) << xps << " page " << i + 1;
    }
}

// The PDF with its streams uncompressed and out of object streams, as text to search.
std::string Uncompressed(const std::string& pdf, const TempDir& dir) {
    std::string qdf = dir / "qdf.pdf";
    RunShell("qpdf --qdf --object-streams=disable " + ShellQuote(pdf) + " " + ShellQuote(qdf));
    return ReadFile(qdf);
}

int Count(const std::string& text, const std::string& what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// The segments of the subpath that starts with the line `start` (a move) in content, as cubic
// curves of four points (a line's control points at its ends), and how many were curves.
struct Subpath {
    std::vector<std::array<double, 8>> segments;
    size_t curves = 0;
};

Subpath ReadSubpath(const std::string& content, const std::string& start) {
    Subpath subpath;
    size_t at = content.find("\n" + start + "\n");
    if (at == std::string::npos) return subpath;
    std::istringstream in(content.substr(at + 1));
    double x = 0, y = 0;
    in >> x >> y;
    in.ignore(4, '\n');
    for (std::string line; std::getline(in, line) && line.size() > 2;) {
        const bool curve = line.compare(line.size() - 2, 2, " c") == 0;
        if (!curve && line.compare(line.size() - 2, 2, " l") != 0) break;
        std::array<double, 8> segment{x, y};
        std::istringstream numbers(line);
        for (size_t i = curve ? 2 : 6; i < 8; ++i) numbers >> segment[i];
        if (!curve) segment = {x, y, x, y, segment[6], segment[7], segment[6], segment[7]};
        x = segment[6];
        y = segment[7];
        subpath.segments.push_back(segment);
        subpath.curves += curve;
    }
    return subpath;
}

// The largest distance (first order) of the segments from the ellipse of centre (cx, cy) and
// radii rx, ry, over points along each.
double LargestDistanceFromEllipse(const Subpath& subpath, double cx, double cy, double rx,
                                  double ry) {
    double largest = 0;
    for (const auto& c : subpath.segments) {
        for (int i = 0; i <= 16; ++i) {
            const double t = i / 16.0, u = 1 - t;
            const double b[4] = {u * u * u, 3 * u * u * t, 3 * u * t * t, t * t * t};
            const double x = b[0] * c[0] + b[1] * c[2] + b[2] * c[4] + b[3] * c[6] - cx;
            const double y = b[0] * c[1] + b[1] * c[3] + b[2] * c[5] + b[3] * c[7] - cy;
            const double f = x * x / (rx * rx) + y * y / (ry * ry) - 1;
            const double gradient = 2 * std::hypot(x / (rx * rx), y / (ry * ry));
            largest = std::max(largest, std::fabs(f) / gradient);
        }
    }
    return largest;
}

std::set<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::set<std::string> words;
    for (std::string word; in >> word;) words.insert(word);
    return words;
}

class PdfFidelityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_TOOLS("mutool", "compare", "pdftotext", "qpdf");
    }

    std::string Convert(const std::string& xps) {
        std::string pdf = dir_ / "out.pdf";
        ShellResult run = RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf, xps});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        return pdf;
    }

    TempDir dir_;
};

TEST_F(PdfFidelityTest, GradientsTilesMasksAndCapsLookAsInTheDocument) {
    xpsfixture::XpsDocumentBuilder doc;
    int gradients = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddLinearGradient(gradients, 48, 48, 720, 300, 0x1040C0, 0xFFE020);
    doc.AddRadialGradient(gradients, 96, 420, 400, 400, 0xFFFF40, 0xC02000);
    doc.AddText(gradients, 560, 600, 24, "Gradient page");
    int tiles = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddTiledSquares(tiles, 48, 48, 700, 400, 40, 0xE03000);
    doc.AddTiledImage(tiles, 48, 500, 700, 300, 60);
    doc.AddText(tiles, 96, 900, 24, "Tiled page");
    int masks = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddRect(masks, 48, 48, 720, 200, 0xFFD0D0);
    doc.AddFadedRect(masks, 96, 96, 600, 400, 0x008040);
    doc.AddCappedLine(masks, 120, 640, 680, 760, 24, 0x2040FF);
    doc.AddText(masks, 96, 900, 24, "Masked page");
    // Arcs reach the device as a line per degree: an ellipse, an S of two half circles, and a
    // rounded corner between straight sides that must stay straight.
    int arcs = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddPathData(arcs, "M 100,200 A 300,120 0 1 1 700,200 A 300,120 0 1 1 100,200 Z", 0x2060A0);
    doc.AddPathData(arcs,
                    "M 100,500 A 100,100 0 0 1 300,500 A 100,100 0 0 0 500,500 L 500,520 "
                    "A 100,100 0 0 1 300,520 A 100,100 0 0 0 100,520 Z",
                    0xA02020);
    doc.AddPathData(arcs, "M 100,700 L 600,700 A 60,60 0 0 1 660,760 L 660,950 L 100,950 Z",
                    0x20A040);
    // A polygon a degree a step round an ellipse but for a ripple of 0.3 units: no ellipse.
    std::string ripple = "M 550,355 L";
    for (int degree = 1; degree < 360; ++degree) {
        const double angle = degree * std::numbers::pi / 180, wave = 0.3 * std::sin(5 * angle);
        char point[48];
        std::snprintf(point, sizeof point, " %.3f,%.3f", 400 + (150 + wave) * std::cos(angle),
                      355 + (30 + wave) * std::sin(angle));
        ripple += point;
    }
    doc.AddPathData(arcs, ripple + " Z", 0x8040A0);
    std::string xps = dir_ / "brushes.xps";
    ASSERT_TRUE(doc.WriteTo(xps));

    std::string pdf = Convert(xps);
    std::vector<double> errors = PageRmse(xps, pdf, dir_);
    ASSERT_EQ(errors.size(), 4u);
    for (size_t i = 0; i < 3; ++i) EXPECT_LE(errors[i], kMaxRmse) << "page " << i + 1;
    // Refitted curves stray by a hundredth of a point: only edge pixels change, and little.
    EXPECT_LE(errors[3], 0.003) << "arc page";

    // Gradients are PDF shadings and tiles a PDF pattern, not images.
    std::string content = Uncompressed(pdf, dir_);
    EXPECT_GE(Count(content, "/ShadingType 2"), 1);
    EXPECT_GE(Count(content, "/ShadingType 3"), 1);
    EXPECT_GE(Count(content, "/PatternType 1"), 2);
    // The arc page's 1100 degrees of arcs are a few dozen curves, not a line per degree; its
    // straight sides stay lines.
    const size_t arcPage = content.find("Contents for page 4");
    ASSERT_NE(arcPage, std::string::npos);
    const std::string arcContent =
        content.substr(arcPage, content.find("endstream", arcPage) - arcPage);
    // The ripple (below) aside, its straight sides stay lines.
    EXPECT_LE(Count(arcContent.substr(0, arcContent.find("550 355 m")), " l\n"), 10)
        << arcContent;
    EXPECT_GE(Count(arcContent, " c\n"), 8) << arcContent;
    EXPECT_LE(Count(arcContent, " c\n"), 120) << arcContent;
    // The ellipse is recognised: a few curves, each within a hundredth of a point (0.0133
    // units) of the true ellipse. The ripple keeps its ripple: it is not taken for an ellipse.
    const Subpath ellipse = ReadSubpath(arcContent, "100 200 m");
    EXPECT_EQ(ellipse.curves, ellipse.segments.size()) << arcContent;
    EXPECT_GE(ellipse.curves, 4u) << arcContent;
    EXPECT_LE(ellipse.curves, 8u) << arcContent;
    EXPECT_LE(LargestDistanceFromEllipse(ellipse, 400, 200, 300, 120), 0.0134);
    const Subpath rippled = ReadSubpath(arcContent, "550 355 m");
    EXPECT_GT(rippled.segments.size(), 8u) << arcContent;
    EXPECT_GT(LargestDistanceFromEllipse(rippled, 400, 355, 150, 30), 0.2);
    // Text beside a masked region stays text.
    std::string text = RunShell("pdftotext " + ShellQuote(pdf) + " -").out;
    for (const char* line : {"Gradient page", "Tiled page", "Masked page"}) {
        EXPECT_NE(text.find(line), std::string::npos) << text;
    }
}

TEST_F(PdfFidelityTest, AnImageDrawnManyTimesIsStoredOnce) {
    xpsfixture::XpsDocumentBuilder doc;
    int first = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddImage(first, 96, 96, 200, 200);
    doc.AddImage(first, 400, 96, 100, 300);
    int second = doc.AddPage(kPage1Width, kPage1Height);
    doc.AddImage(second, 96, 96, 300, 300);
    std::string xps = dir_ / "images.xps";
    ASSERT_TRUE(doc.WriteTo(xps));
    std::string pdf = Convert(xps);
    ExpectFaithful(xps, pdf, dir_);
    std::string content = Uncompressed(pdf, dir_);
    EXPECT_EQ(Count(content, "/Subtype /Image"), 1) << "one image object for three uses";
    EXPECT_EQ(Count(content, "/Filter /DCTDecode"), 1) << "the JPEG stays a JPEG";
}

TEST_F(PdfFidelityTest, CorpusPagesLookAsInTheDocument) {
    std::vector<std::string> documents;
    for (const char* folder : {"/minbar", "/bench"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(kCorpus + folder, error)) {
            if (entry.path().extension() == ".xps") documents.push_back(entry.path().string());
        }
    }
    if (documents.empty())
        GTEST_SKIP() << "corpus folders " << kCorpus << "/minbar and /bench absent";
    std::sort(documents.begin(), documents.end());
    for (const std::string& document : documents) {
        SCOPED_TRACE(document);
        ExpectFaithful(document, Convert(document), dir_);
    }
}

// pdftotext splits and orders words by its own layout (in its default mode it leaves out text
// at odd angles, in raw mode it joins some neighbours), so a word counts as found when either
// mode yields it, or when it stands in the text of both with the spaces taken out.
TEST_F(PdfFidelityTest, EveryWordOfTheTextBenchmarkStaysText) {
    const std::string document = kCorpus + "/bench/text.xps";
    if (!fs::exists(document)) GTEST_SKIP() << document << " is absent";
    std::string pdf = Convert(document);
    std::string reference = dir_ / "reference.txt";
    RunShell("mutool draw -q -F txt -o " + ShellQuote(reference) + " " + ShellQuote(document));
    std::set<std::string> expected = Words(ReadFile(reference));
    std::string layout = RunShell("pdftotext " + ShellQuote(pdf) + " -").out;
    std::string raw = RunShell("pdftotext -raw " + ShellQuote(pdf) + " -").out;
    std::set<std::string> found = Words(layout + "\n" + raw);
    std::string joined;
    for (char c : layout + raw) {
        if (!std::isspace(static_cast<unsigned char>(c))) joined += c;
    }
    ASSERT_GT(expected.size(), 1000u);
    std::vector<std::string> missing;
    for (const std::string& word : expected) {
        if (!found.count(word) && joined.find(word) == std::string::npos) missing.push_back(word);
    }
    EXPECT_TRUE(missing.empty()) << missing.size() << " words missing, e.g. " << missing.front();
}

}  // namespace
