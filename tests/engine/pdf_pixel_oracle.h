#pragma once
// The engine's own page image (bmp16m) as the oracle for its PDF: the PDF is drawn by an
// independent reader at the same resolution, and a box of the page is compared by RMSE.

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "engine_test_support.h"

namespace enginetest {

constexpr int kOracleDpi = 150;

// The normalised RMSE ImageMagick gives for two images, 1 when it gives none.
inline double ImageRmse(const std::string& a, const std::string& b) {
    ShellResult r = RunShell("compare -metric RMSE " + ShellQuote(a) + " " + ShellQuote(b) +
                             " null:");
    std::smatch m;
    std::string text = r.err + r.out;
    return std::regex_search(text, m, std::regex("\\(([0-9.e+-]+)\\)"))
               ? std::atof(m[1].str().c_str())
               : 1.0;
}

// Page images of one document: the engine's BMP of page 1, and the PDF's first page drawn by
// MuPDF and by poppler, at kOracleDpi.
struct OraclePages {
    std::string bmp, mupdf, poppler;
};

inline OraclePages RenderBoth(const std::string& xps, const std::string& pdf,
                              const std::string& folder) {
    OraclePages pages{folder + "/engine001.bmp", folder + "/mupdf.png", folder + "/poppler-1.png"};
    const std::string dpi = std::to_string(kOracleDpi);
    RunEngine({"-sDEVICE=bmp16m", "-r" + dpi + "x" + dpi, "-sOutputFile=" + folder + "/engine%03d.bmp",
               xps});
    RunShell("mutool draw -q -r " + dpi + " -o " + ShellQuote(pages.mupdf) + " " +
             ShellQuote(pdf) + " 1");
    RunShell("pdftoppm -r " + dpi + " -f 1 -l 1 -png " + ShellQuote(pdf) + " " +
             ShellQuote(folder + "/poppler"));
    return pages;
}

// The RMSE of a box (in XPS units) of two page images at kOracleDpi.
inline double BoxRmse(const std::string& a, const std::string& b, double x, double y, double w,
                      double h, const std::string& folder) {
    const double k = kOracleDpi / 96.0;
    char crop[96];
    std::snprintf(crop, sizeof crop, "%dx%d+%d+%d", int(w * k), int(h * k), int(x * k),
                  int(y * k));
    const std::string ca = folder + "/crop-a.png";
    const std::string cb = folder + "/crop-b.png";
    RunShell("convert " + ShellQuote(a) + " -crop " + crop + " +repage " + ShellQuote(ca));
    RunShell("convert " + ShellQuote(b) + " -crop " + crop + " +repage " + ShellQuote(cb));
    return ImageRmse(ca, cb);
}

}  // namespace enginetest
