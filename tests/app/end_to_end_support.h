#pragma once
// Running the built converter on generated documents and reading back what it wrote. The
// converter runs natively (on Windows the .exe, started with its command line to the letter);
// the readers are Linux's, reached through RunShell with ShellQuote'd paths.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/pnm_reader.h"
#include "support/test_support.h"
#include "support/xps_fixture.h"

namespace e2e {

// A path with the platform's separators, as the converter names files in its messages.
inline std::string Native(const std::string& path) { return NativeSeparators(path); }
inline std::string InFolder(const std::string& folder, const std::string& name) {
    return folder + platform::kSeparator + name;
}

// Runs a converter program from folder, the system temporary folder being tempFolder (when
// given; TMPDIR on POSIX, TMP and TEMP on Windows), under a time limit (exit 124 past it).
inline ShellResult RunConverterProgram(const std::string& program, const std::string& folder,
                                       const std::string& arguments, const std::string& tempFolder = "",
                                       const std::vector<std::string>& environment = {}, int timeoutSeconds = 300) {
    ShellResult result =
        RunProgram(program, arguments, ProgramOptions{folder, tempFolder, environment, timeoutSeconds});
#ifdef _WIN32
    // Standard output and error are text streams there: each line ends in CR LF.
    for (std::string* text : {&result.out, &result.err}) {
        for (size_t at = text->find("\r\n"); at != std::string::npos; at = text->find("\r\n", at)) text->erase(at, 1);
    }
#endif
    return result;
}

// The same with the build's own converter, beside the real engine and post-processor.
inline ShellResult RunConverter(const std::string& folder, const std::string& arguments,
                                const std::string& tempFolder = "", const std::vector<std::string>& environment = {},
                                int timeoutSeconds = 300) {
    return RunConverterProgram(InFolder(BuiltBinDir(), ProgramFile("xpsconv")), folder, arguments, tempFolder,
                               environment, timeoutSeconds);
}

// A folder holding a copy of the converter and, as each case asks, what it finds beside it.
class ProgramFolder {
public:
    ProgramFolder() { Copy(InFolder(BuiltBinDir(), ProgramFile("xpsconv")), ProgramFile("xpsconv")); }
    void AddRealEngine() { Copy(InFolder(BuiltBinDir(), "proc.dll"), "proc.dll"); }
    void AddRealPostProcessor() { Copy(InFolder(BuiltBinDir(), "mstar.dll"), "mstar.dll"); }
    void AddHelpFile() { Copy(InFolder(BuiltBinDir(), "Command line.txt"), "Command line.txt"); }
    // An engine that starts and writes nothing.
    void AddEngineStandIn() { Copy(HelperProgram("fake_engine_program"), "proc.dll"); }
    // The engine that does what XPSCONV_TEST_ENGINE in the run's environment says
    // (tests/helpers/app_engine_program.cpp).
    void AddTestEngine() { Copy(HelperProgram("app_engine_program"), "proc.dll"); }
    // A post-processor library of tests/helpers by its base name.
    void AddPostProcessor(const std::string& library) { Copy(HelperLibrary(library), "mstar.dll"); }
    std::string Converter() const { return dir / ProgramFile("xpsconv"); }
    std::string operator/(const std::string& name) const { return dir / name; }
    ShellResult Run(const std::string& folder, const std::string& arguments, const std::string& tempFolder = "",
                    const std::vector<std::string>& environment = {}, int timeoutSeconds = 300) const {
        return RunConverterProgram(Converter(), folder, arguments, tempFolder, environment, timeoutSeconds);
    }

private:
    void Copy(const std::string& from, const std::string& name) {
        std::filesystem::copy_file(from, dir / name, std::filesystem::copy_options::overwrite_existing);
    }
    TempDir dir;
};

// What a run left in the temporary folder it was given. Windows makes the page folders inside
// an "mtmp" folder there, which stays; the page folders in it are listed as "mtmp\NAME".
inline std::vector<std::string> LeftInTemporaryFolder(const std::string& tmp) {
    std::vector<std::string> left;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(tmp, error)) {
        const std::string name = entry.path().filename().string();
#ifdef _WIN32
        if (name == "mtmp" && entry.is_directory()) {
            for (const auto& inner : std::filesystem::directory_iterator(entry.path(), error))
                left.push_back(name + "\\" + inner.path().filename().string());
            continue;
        }
#endif
        left.push_back(name);
    }
    return left;
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
