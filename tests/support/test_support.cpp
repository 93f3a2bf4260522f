#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <algorithm>

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("xpsconv-test-" + std::to_string(random()) + "-" + std::to_string(stamp % 1000000) + "-" +
             std::to_string(counter++));
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string PosixShellWord(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string HelperProgram(const std::string& name) { return TestHelpersDir() + "/" + ProgramFile(name); }

namespace {

struct Provider {
    const char* name;     // a tool, or a font family
    const char* package;  // the Debian package that provides it
    const char* served;   // fonts: the family fontconfig must answer with
};

constexpr Provider kProviders[] = {
    {"pdfinfo", "poppler-utils", nullptr},      {"pdftotext", "poppler-utils", nullptr},
    {"pdftoppm", "poppler-utils", nullptr},     {"pdffonts", "poppler-utils", nullptr},
    {"pdfimages", "poppler-utils", nullptr},    {"qpdf", "qpdf", nullptr},
    {"mutool", "mupdf-tools", nullptr},         {"convert", "imagemagick", nullptr},
    {"compare", "imagemagick", nullptr},        {"identify", "imagemagick", nullptr},
    {"tiffinfo", "libtiff-tools", nullptr},     {"djpeg", "libjpeg-turbo-progs", nullptr},
    {"opj_decompress", "libopenjp2-tools", nullptr}, {"opj_dump", "libopenjp2-tools", nullptr},
    {"pngcheck", "pngcheck", nullptr},          {"emf2svg-conv", "emf2svg", nullptr},
    {"rsvg-convert", "librsvg2-bin", nullptr},  {"wmf2gd", "libwmf-bin", nullptr},
    {"fc-match", "fontconfig", nullptr},        {"giftopnm", "netpbm", nullptr},
    {"pcxtoppm", "netpbm", nullptr},            {"tgatoppm", "netpbm", nullptr},
    {"unzip", "unzip", nullptr},
    {"Helvetica", "fonts-urw-base35", "Nimbus Sans"},
};

const Provider* FindProvider(const std::string& name) {
    for (const Provider& provider : kProviders) {
        if (name == provider.name) return &provider;
    }
    return nullptr;
}

std::string Install(const std::string& name) {
    const std::string package = PackageOf(name);
    return package.empty() ? name + " (no Debian package known)" : name + " (Debian package " + package + ")";
}

}  // namespace

bool UnderCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

std::string PackageOf(const std::string& toolOrFont) {
    // ImageMagick's tools may be asked for by their full path.
    const std::string name = toolOrFont.substr(toolOrFont.rfind('/') + 1);
    const Provider* provider = FindProvider(name);
    return provider == nullptr ? std::string() : provider->package;
}

std::string MissingTools(const std::vector<std::string>& tools) {
    std::string missing;
    for (const std::string& tool : tools) {
        if (!HaveTool(tool)) missing += (missing.empty() ? "" : ", ") + Install(tool);
    }
    return missing.empty() ? missing : "missing: " + missing;
}

bool UseTool(const std::string& tool) {
    if (HaveTool(tool)) return true;
    if (UnderCi()) ADD_FAILURE() << MissingTools({tool});
    return false;
}

std::string MissingFont(const std::string& family) {
    const Provider* provider = FindProvider(family);
    const std::string served = provider != nullptr && provider->served != nullptr ? provider->served : family;
    if (!HaveTool("fc-match")) return "missing: " + Install("fc-match");
    const ShellResult match = RunShell("fc-match -f '%{family}' " + ShellQuote(family));
    if (match.out.find(served) != std::string::npos) return std::string();
    return "missing: the font " + Install(family) + ": fontconfig serves \"" + match.out + "\" instead";
}

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (!entry.is_directory()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
