#include "postproc/postproc_fixture.h"

#include "support/test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/platform.h"
#include "support/test_paths.h"

namespace postproc_test {

std::string MakePdf(const std::vector<TestPage>& pages, bool sharedAttributes) {
    const std::string resources = "/Resources << /Font << /F1 3 0 R >> >>";
    std::vector<std::string> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(4 + 2 * i) + " 0 R ";
    std::string tree =
        "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size());
    if (sharedAttributes) tree += " /MediaBox [" + pages.front().mediaBox + "] " + resources;
    objects.push_back(tree + " >>");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
    for (size_t i = 0; i < pages.size(); ++i) {
        std::string page =
            "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(5 + 2 * i) + " 0 R ";
        if (!sharedAttributes) page += "/MediaBox [" + pages[i].mediaBox + "] " + resources;
        objects.push_back(page + " " + pages[i].extraEntries + " >>");
        objects.push_back("<< /Length " + std::to_string(pages[i].content.size()) +
                          " >>\nstream\n" + pages[i].content + "\nendstream");
    }

    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

int RunCommand(const std::string& command, std::string* output) {
    const ShellResult result = RunShell(command);
    if (output) *output = result.out;
    return result.exitCode;
}

Pixmap RenderPage(const std::filesystem::path& pdf, int page, const std::string& password) {
    const std::filesystem::path base = pdf.parent_path() / ("render-" + std::to_string(page));
    std::string command = "pdftoppm -r 72 -cropbox -singlefile -f " + std::to_string(page) +
                          " -l " + std::to_string(page);
    if (!password.empty()) command += " -upw " + ShellQuote(password);
    command.append(" ").append(ShellQuote(pdf.string())).append(" ").append(ShellQuote(base.string()));
    Pixmap pixmap;
    if (RunCommand(command) != 0) return pixmap;
    std::filesystem::path file = base;
    file += ".ppm";
    const std::string bytes = ReadBytes(file);
    std::filesystem::remove(file);

    std::istringstream header(bytes);
    std::string magic;
    int maxValue = 0;
    header >> magic >> pixmap.width >> pixmap.height >> maxValue;
    header.get();  // the one whitespace byte before the samples
    const size_t start = static_cast<size_t>(header.tellg());
    const size_t size = static_cast<size_t>(pixmap.width) * pixmap.height * 3;
    if (magic != "P6" || maxValue != 255 || bytes.size() < start + size) return Pixmap{};
    pixmap.rgb.assign(bytes.begin() + start, bytes.begin() + start + size);
    return pixmap;
}

Box FindColour(const Pixmap& pixmap, int red, int green, int blue) {
    Box box;
    for (int y = 0; y < pixmap.height; ++y) {
        for (int x = 0; x < pixmap.width; ++x) {
            const uint8_t* pixel = pixmap.at(x, y);
            if (std::abs(pixel[0] - red) > 60 || std::abs(pixel[1] - green) > 60 ||
                std::abs(pixel[2] - blue) > 60) {
                continue;
            }
            if (box.empty()) box = {x, y, x, y};
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

void PostProcessorTest::SetUp() {
    // Pages are drawn back with poppler, which lays the standard fonts out from these files.
    REQUIRE_TOOLS("pdftoppm", "qpdf");
    REQUIRE_FONT("Helvetica");
    library_ = platform::LoadLibraryFile(BuiltBinDir() + "/mstar.dll");
    ASSERT_NE(library_, nullptr) << "build the xpspostproc target first";
    using namespace postproc_abi;
    version_ = reinterpret_cast<InterfaceVersionFn>(platform::LibraryOrdinal(library_, kVersionOrdinal));
    postProcess_ = reinterpret_cast<PostProcessPdfFn>(platform::LibraryOrdinal(library_, kPostProcessPdfOrdinal));
    lastFailure_ = reinterpret_cast<LastFailureFn>(platform::LibraryOrdinal(library_, kLastFailureOrdinal));
    ASSERT_NE(version_, nullptr);
    ASSERT_NE(postProcess_, nullptr);
    ASSERT_NE(lastFailure_, nullptr);

    // Parameterised test names hold a slash.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    folder_ = std::filesystem::temp_directory_path() /
              ("mstar-test-" + name + "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
}

void PostProcessorTest::TearDown() {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
    if (library_) platform::FreeLibraryFile(library_);
}

int PostProcessorTest::Stamp(const std::filesystem::path& pdf, const Overlay& overlay,
                             const std::string& userPassword, const std::string& ownerPassword) {
    const int encryptFlag = userPassword.empty() && ownerPassword.empty() ? 0 : 1;
    return postProcess_(pdf.string().c_str(), ownerPassword.c_str(), userPassword.c_str(),
                        encryptFlag, "Quorbex Tavrin", overlay.on ? 1 : 0, overlay.text.c_str(),
                        overlay.color, overlay.size, -overlay.position, overlay.rotation, overlay.x,
                        overlay.y, overlay.flag);
}

std::string PostProcessorTest::PageText(const std::filesystem::path& pdf, int page,
                                        const std::string& password) {
    std::string command =
        "pdftotext -enc UTF-8 -f " + std::to_string(page) + " -l " + std::to_string(page);
    if (!password.empty()) command += " -upw " + ShellQuote(password);
    std::string text;
    if (RunCommand(command + " " + ShellQuote(pdf.string()) + " -", &text) != 0) return "<unreadable>";
    return text;
}

std::vector<std::string> PostProcessorTest::FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string EncryptionReport(const std::filesystem::path& pdf, const std::string& password) {
    std::string report;
    if (RunCommand(
            "qpdf --show-encryption --password=" + ShellQuote(password) + " " + ShellQuote(pdf.string()),
            &report) != 0) {
        return "<cannot open>";
    }
    std::string kept;
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find('\n', start);
        if (end == std::string::npos) end = report.size();
        const std::string line = report.substr(start, end - start);
        if (line.find("Supplied password") == std::string::npos) kept += line + "\n";
        start = end + 1;
    }
    return kept;
}

}  // namespace postproc_test
