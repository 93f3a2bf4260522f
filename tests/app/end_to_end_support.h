#pragma once
// Running the built converter on generated documents and reading back what it wrote.

#include <cstdint>
#include <string>

#include "support/pnm_reader.h"
#include "support/test_support.h"
#include "support/xps_fixture.h"

namespace e2e {

// Runs build/bin/xpsconv from folder with TMPDIR pointing at tempFolder (when given), under a
// time limit.
inline ShellResult RunConverter(const std::string& folder, const std::string& arguments,
                                const std::string& tempFolder = "") {
    std::string command = "cd " + ShellQuote(folder) + " && ";
    if (!tempFolder.empty()) command += "TMPDIR=" + ShellQuote(tempFolder) + " ";
    command += "timeout -k 5 300 " + ShellQuote(BuiltBinDir() + "/xpsconv") + " " + arguments;
    return RunShell(command);
}

// A two-page document: page 1 (816 x 1056 units, letter) with a red, a green and a blue
// rectangle and a line of text; page 2 (landscape) with a yellow top-left quarter.
struct Rect {
    double x, y, w, h;
    uint32_t colour;
};
constexpr Rect kRed = {96, 96, 192, 96, 0xFF0000};
constexpr Rect kGreen = {384, 96, 192, 96, 0x00FF00};
constexpr Rect kBlue = {96, 480, 288, 192, 0x0000FF};
constexpr Rect kYellow = {0, 0, 528, 408, 0xFFFF00};
constexpr const char* kText = "Quarterly figures";

inline void WriteTwoPageDocument(const std::string& path) {
    xpsfixture::XpsDocumentBuilder doc;
    const int first = doc.AddPage(816, 1056);
    for (const Rect& r : {kRed, kGreen, kBlue}) doc.AddRect(first, r.x, r.y, r.w, r.h, r.colour);
    doc.AddText(first, 96, 400, 24, kText);
    const int second = doc.AddPage(1056, 816);
    doc.AddRect(second, kYellow.x, kYellow.y, kYellow.w, kYellow.h, kYellow.colour);
    doc.AddText(second, 600, 380, 24, "Second page");
    doc.WriteTo(path);
}

inline RgbPixel Rgb(uint32_t colour) {
    return {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8), static_cast<uint8_t>(colour)};
}

// ImageMagick itself, not a wrapper that may stand before it on the search path.
inline std::string ImageMagick(const std::string& tool) {
    const std::string installed = "/usr/bin/" + tool;
    return HaveTool(installed) ? installed : tool;
}

// Decodes any image ImageMagick reads (first frame, displayed orientation) into top-down RGB.
inline bool DecodeImage(const std::string& path, DecodedImage& image) {
    const std::string ppm = path + ".decoded.ppm";
    const bool ok = DecodeWith(ImageMagick("convert") + " " + ShellQuote(path + "[0]") +
                                   " -auto-orient -depth 8 ppm:" + ShellQuote(ppm),
                               ppm, image);
    std::remove(ppm.c_str());
    return ok;
}

inline bool Near(const RgbPixel& a, const RgbPixel& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

}  // namespace e2e
