#pragma once
// Test support for the post-processor: hand-built PDF files, the library loaded as the converter
// loads it, and the outside tools (qpdf, poppler) that judge the results.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "protocol/postproc_abi.h"
#include "support/test_support.h"

namespace postproc_test {

struct TestPage {
    explicit TestPage(std::string content_, std::string mediaBox_ = "0 0 300 200",
                      std::string extraEntries_ = "")
        : content(std::move(content_)),
          mediaBox(std::move(mediaBox_)),
          extraEntries(std::move(extraEntries_)) {}

    std::string content;       // content stream; font /F1 is Courier
    std::string mediaBox;      // with shared attributes, only the first page's is used
    std::string extraEntries;  // e.g. "/Rotate 90"
};

// A PDF with a correct cross-reference table. With sharedAttributes the media box of the first
// page and the resources sit on the page tree and are inherited by every page.
std::string MakePdf(const std::vector<TestPage>& pages, bool sharedAttributes = false);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
// Runs a shell command (a Linux one on every platform: its paths through ShellQuote); returns
// its exit status and its standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);
// qpdf --show-encryption output with a password, without the line that says which password
// matched; "<cannot open>" when qpdf could not read the file.
std::string EncryptionReport(const std::filesystem::path& pdf, const std::string& password);

struct Pixmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};
// The crop box of one page rendered by pdftoppm at 72 dpi (one pixel per point).
Pixmap RenderPage(const std::filesystem::path& pdf, int page, const std::string& password = "");

struct Box {
    int left = -1;  // -1 when no pixel matched
    int top = -1;
    int right = -1;
    int bottom = -1;
    bool empty() const { return left < 0; }
};
// Bounding box of the pixels near the given colour.
Box FindColour(const Pixmap& pixmap, int red, int green, int blue);

struct Overlay {
    bool on = true;
    std::string text = "DRAFT";
    int color = 255;
    int size = 16;
    int position = 1;  // as the user gives it; the call negates it
    int rotation = 0;
    int x = 0;
    int y = 0;
    int flag = 0;
};

class PostProcessorTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path Path(const std::string& name) const { return folder_ / name; }
    // Calls ordinal 2 as the converter does, the position negated.
    int Stamp(const std::filesystem::path& pdf, const Overlay& overlay,
              const std::string& userPassword = "", const std::string& ownerPassword = "");
    std::string PageText(const std::filesystem::path& pdf, int page,
                         const std::string& password = "");
    std::vector<std::string> FolderEntries() const;

    void* library_ = nullptr;
    postproc_abi::InterfaceVersionFn version_ = nullptr;
    postproc_abi::PostProcessPdfFn postProcess_ = nullptr;
    postproc_abi::LastFailureFn lastFailure_ = nullptr;
    std::filesystem::path folder_;
};

}  // namespace postproc_test
