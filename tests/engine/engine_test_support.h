#pragma once
// Running the built engine on generated documents, and reading back what it wrote.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/pnm_reader.h"
#include "support/test_support.h"
#include "support/xps_fixture.h"

namespace enginetest {

inline std::string EnginePath() { return BuiltBinDir() + "/proc.dll"; }

// Runs the engine with arguments under a time limit; an exit code above 123 means it was
// killed by the limit (124) or by a signal (128 + signal).
// environment ("NAME=value ...", already quoted for the shell) is set for the engine alone.
inline ShellResult RunEngineWith(const std::string& environment,
                                 const std::vector<std::string>& arguments,
                                 int timeoutSeconds = 120) {
    // Appended piece by piece: "literal" + std::string&& trips a false GCC 12 -Wrestrict.
    std::string command = environment;
    if (!command.empty()) command += ' ';
    command += "timeout -k 5 ";
    command += std::to_string(timeoutSeconds);
    command += ' ';
    command += ShellQuote(EnginePath());
    for (const std::string& argument : arguments) {
        command += ' ';
        command += ShellQuote(argument);
    }
    return RunShell(command);
}

inline ShellResult RunEngine(const std::vector<std::string>& arguments, int timeoutSeconds = 120) {
    return RunEngineWith("", arguments, timeoutSeconds);
}

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Geometry of the test document, in XPS units (1/96 inch).
constexpr double kPage1Width = 816, kPage1Height = 1056;  // US Letter portrait
constexpr double kPage2Width = 1056, kPage2Height = 816;  // US Letter landscape
struct Box {
    double x, y, w, h;
    uint32_t colour;
    double CentreX() const { return x + w / 2; }
    double CentreY() const { return y + h / 2; }
};
constexpr Box kRed = {96, 96, 192, 96, 0xFF0000};
constexpr Box kGreen = {384, 96, 192, 96, 0x00FF00};
constexpr Box kBlue = {96, 480, 288, 192, 0x0000FF};
constexpr Box kYellow = {0, 0, 528, 408, 0xFFFF00};                     // page 2, top left quarter
constexpr Box kImage = {600, 420, 300, 300, xpsfixture::kImageColour};  // page 2
constexpr const char* kPage1Text = "Engine fixture text";
constexpr const char* kPage2Text = "Second page";

inline void WriteTestDocument(const std::string& path) {
    xpsfixture::XpsDocumentBuilder doc;
    int first = doc.AddPage(kPage1Width, kPage1Height);
    for (const Box& box : {kRed, kGreen, kBlue}) {
        doc.AddRect(first, box.x, box.y, box.w, box.h, box.colour);
    }
    doc.AddText(first, 96, 400, 24, kPage1Text);
    int second = doc.AddPage(kPage2Width, kPage2Height);
    doc.AddRect(second, kYellow.x, kYellow.y, kYellow.w, kYellow.h, kYellow.colour);
    doc.AddImage(second, kImage.x, kImage.y, kImage.w, kImage.h);
    doc.AddText(second, 600, 380, 24, kPage2Text);
    doc.WriteTo(path);
}

inline RgbPixel Rgb(uint32_t colour) {
    return {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
            static_cast<uint8_t>(colour)};
}

inline bool Near(const RgbPixel& a, const RgbPixel& b, int tolerance = 2) {
    auto close = [&](int x, int y) { return x - y <= tolerance && y - x <= tolerance; };
    return close(a.r, b.r) && close(a.g, b.g) && close(a.b, b.b);
}

// The fields of a BMP file's two headers, read from the bytes.
struct BmpHeader {
    bool valid = false;
    uint32_t fileSize = 0, dataOffset = 0, infoSize = 0;
    int32_t width = 0, height = 0;
    uint16_t planes = 0, bitCount = 0;
    uint32_t compression = 0, imageSize = 0;
    int32_t xPelsPerMeter = 0, yPelsPerMeter = 0;
};

inline BmpHeader ReadBmpHeader(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> b(54);
    file.read(reinterpret_cast<char*>(b.data()), 54);
    BmpHeader h;
    if (file.gcount() != 54 || b[0] != 'B' || b[1] != 'M') return h;
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
    };
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); };
    h.fileSize = u32(2);
    h.dataOffset = u32(10);
    h.infoSize = u32(14);
    h.width = static_cast<int32_t>(u32(18));
    h.height = static_cast<int32_t>(u32(22));
    h.planes = u16(26);
    h.bitCount = u16(28);
    h.compression = u32(30);
    h.imageSize = u32(34);
    h.xPelsPerMeter = static_cast<int32_t>(u32(38));
    h.yPelsPerMeter = static_cast<int32_t>(u32(42));
    std::error_code error;
    h.valid = std::filesystem::file_size(path, error) == h.fileSize;
    return h;
}

// Decodes a BMP with ImageMagick, the independent reader.
inline bool DecodeBmp(const std::string& bmp, const std::string& scratchFolder,
                      DecodedImage& image) {
    std::string ppm = scratchFolder + "/decoded.ppm";
    return DecodeWith("convert " + ShellQuote(bmp) + " " + ShellQuote(ppm), ppm, image);
}

// Files in folder whose names say they are unfinished temporary outputs.
inline std::vector<std::string> LeftoverTemporaries(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : ListNames(folder)) {
        if (name.find(".part") != std::string::npos) found.push_back(name);
    }
    return found;
}

}  // namespace enginetest
