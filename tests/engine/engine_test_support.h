#pragma once
// Running the built engine on generated documents, and reading back what it wrote.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/pnm_reader.h"
#include "support/test_support.h"
#include "support/xps_fixture.h"

namespace enginetest {

// The engine's standard output and error are text streams: on Windows a line ends in CR LF.
// The tests read lines ending in LF alone; a CR anywhere else is kept, and shows.
inline std::string PlainLineEnds(std::string text) {
#ifdef _WIN32
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') plain += text[i];
    }
    text = plain;
#endif
    return text;
}

inline std::string EnginePath() { return BuiltBinDir() + platform::kSeparator + "proc.dll"; }

// Runs the engine natively with arguments under a time limit; exit code 124 means the limit
// ended it. environment ("NAME=value" each) is set for the engine alone.
inline ShellResult RunEngineWith(const std::vector<std::string>& environment,
                                 const std::vector<std::string>& arguments,
                                 int timeoutSeconds = 120) {
    // Appended piece by piece: "literal" + std::string&& trips a false GCC 12 -Wrestrict.
    std::string text;
    for (const std::string& argument : arguments) {
        if (!text.empty()) text += ' ';
        text += ArgQuote(argument);
    }
    ProgramOptions options;
    options.environment = environment;
    options.timeoutSeconds = timeoutSeconds;
    ShellResult run = RunProgram(EnginePath(), text, options);
    run.out = PlainLineEnds(run.out);
    run.err = PlainLineEnds(run.err);
    return run;
}

inline ShellResult RunEngine(const std::vector<std::string>& arguments, int timeoutSeconds = 120) {
    return RunEngineWith({}, arguments, timeoutSeconds);
}

// Runs the engine with a stack of 1 MiB, the least it has on any system (on Windows its link
// gives it and its threads that much).
inline ShellResult RunEngineOnSmallStack(const std::vector<std::string>& arguments) {
#ifdef _WIN32
    return RunEngine(arguments);
#else
    std::string command = "prlimit --stack=1048576 " + ShellQuote(EnginePath());
    for (const std::string& argument : arguments) {
        command += ' ';
        command += ShellQuote(argument);
    }
    return RunShell(command);
#endif
}

// The engine running beside the test through the platform's own child start, standard input a
// pipe that stays open and carries what the test tells it, standard output collected as it
// comes and standard error the test's own.
class BackgroundEngine {
  public:
    using Clock = std::chrono::steady_clock;

    BackgroundEngine(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment = {}) {
        std::vector<std::string> command{EnginePath()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        started_ = platform::StartChildProcess(command, child_, environment);
    }
    ~BackgroundEngine() {
        platform::KillChildProcess(child_);
        platform::CloseChildProcess(child_);
    }
    BackgroundEngine(const BackgroundEngine&) = delete;
    BackgroundEngine& operator=(const BackgroundEngine&) = delete;

    bool Started() const { return started_; }
    std::string Output() const { return PlainLineEnds(output_); }
    bool OutputEnded() const { return outputEnded_; }

    // Polls until done() holds, collecting output; false when it did not within the time.
    bool WaitUntil(const std::function<bool()>& done, double seconds) {
        const Clock::time_point limit = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                           std::chrono::duration<double>(seconds));
        while (true) {
            Collect();
            if (done()) return true;
            if (Clock::now() > limit) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // Exit code once the engine has ended by itself, -1 when it did not in time.
    int Finish(double seconds) {
        if (!WaitUntil([&] { return outputEnded_; }, seconds)) return -1;
        return Exit(10);
    }
    // Writes text to the engine's standard input.
    bool Tell(const std::string& text) { return platform::WriteChildInput(child_, text.data(), text.size()); }
    // Stops reading: the engine's next line of output finds nobody there.
    void CloseOutput() {
        platform::CloseChildProcess(child_);
        outputEnded_ = true;
    }
    // Exit code once the engine has ended, whether or not its output was read to the end; -1
    // when it did not end in time.
    int Exit(double seconds) {
        if (!platform::WaitChildProcess(child_, static_cast<int>(seconds * 1000))) return -1;
        return child_.exitCode;
    }

  private:
    void Collect() {
        char buffer[512];
        while (!outputEnded_ && platform::WaitForChildOutput(child_, 0)) {
            const size_t count = platform::ReadChildOutput(child_, buffer, sizeof buffer);
            if (count == 0) outputEnded_ = true;
            output_.append(buffer, count);
        }
    }

    platform::ChildProcess child_;
    bool started_ = false;
    bool outputEnded_ = false;
    std::string output_;
};

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
    const std::string ppm = scratchFolder + "/decoded.ppm";
    std::remove(ppm.c_str());
    const ShellResult run = RunShell("convert " + ShellQuote(bmp) + " " + ShellQuote(ppm));
    if (run.exitCode != 0) {
        ADD_FAILURE() << "convert " << bmp << ": exit " << run.exitCode << ": " << run.err;
        return false;
    }
    if (ReadPnm(ppm, image)) return true;
    ADD_FAILURE() << "convert " << bmp << " wrote no image: " << ReadFile(ppm).size() << " bytes";
    return false;
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
