#pragma once
// The contract between the converter and its rendering engine, included by both sides: the
// request and its command-line form, the exit codes, the page files, the lines the two say to
// each other while a document is drawn, and the environment the engine reads.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace protocol {

// ---- Exit codes ------------------------------------------------------------------------------

enum EngineExitCode : int {
    kEngineAllWritten = 0,
    kEnginePartlyWritten = 1,  // the output was written, some pages are incomplete
    kEngineNothingWritten = 2, // the document could not be read, or the arguments are unusable
};

// ---- Environment ------------------------------------------------------------------------------

// How many announced page files may wait unacknowledged before the engine starts no more
// pages; absent or not a positive number: no limit.
constexpr const char* kPageBacklogVariable = "XPSCONV_PAGE_BACKLOG";
// Milliseconds without any page taken after which the engine stops waiting; tests shorten it.
constexpr const char* kPageBacklogPatienceVariable = "XPSCONV_PAGE_BACKLOG_PATIENCE_MS";
// The engine's memory budget in MiB.
constexpr const char* kEngineMemoryVariable = "XPSCONV_ENGINE_MEMORY";
// How many threads the engine may keep busy (page drawing, stream compression); absent or not
// a positive number: one per processor. The converter sets it when it runs several documents
// at once, so that their engines share the processors rather than each taking them all.
constexpr const char* kEngineThreadsVariable = "XPSCONV_ENGINE_THREADS";

// The thread count a kEngineThreadsVariable value asks for; 0 when it is absent or unusable.
inline int ThreadsFromVariable(const char* value) {
    if (value == nullptr || *value == '\0') return 0;
    int threads = 0;
    const char* end = value + std::char_traits<char>::length(value);
    auto [ptr, ec] = std::from_chars(value, end, threads);
    return ec == std::errc() && ptr == end && threads > 0 && threads <= 256 ? threads : 0;
}

// ---- Page files -------------------------------------------------------------------------------

// The number part of a page file's name, and what follows it: "report_007.bmp".
constexpr const char* kPageNumberDirective = "_%03d";
constexpr const char* kPageFileExtension = ".bmp";

// "_007" for page 7.
inline std::string PageNumberText(int page) {
    char text[16];
    std::snprintf(text, sizeof(text), kPageNumberDirective, page);
    return text;
}

// The template the engine is given: folder, base name, "_%03d.bmp". A '%' of the base name is
// doubled so that the engine takes it literally.
inline std::string PageFileTemplate(const std::string& folder, const std::string& baseName) {
    std::string escaped;
    for (char c : baseName) {
        escaped += c;
        if (c == '%') escaped += '%';
    }
    return folder + escaped + kPageNumberDirective + kPageFileExtension;
}

// The file the engine writes for page (from 1) of that template.
inline std::string PageFileName(const std::string& folder, const std::string& baseName, int page) {
    return folder + baseName + PageNumberText(page) + kPageFileExtension;
}

// ---- Lines while a document is drawn ----------------------------------------------------------

// The engine's standard output carries "page N" once page N is finished: for page images, once
// its file is complete under its final name. Pages are announced in order. Other lines (a
// keep-alive while it waits) only show that the engine is alive.
// The converter's standard input to the engine carries "taken N" once it is done with page N's
// file; the engine reads it only when it was given a page backlog.
constexpr std::string_view kPageDoneWord = "page ";
constexpr std::string_view kPageTakenWord = "taken ";
// The page-count device's one line: "pages N".
constexpr std::string_view kPageCountWord = "pages ";
// The start of the keep-alive line the engine says while it waits for pages to be taken.
constexpr std::string_view kKeepAliveWords = "waiting until page files are taken";

inline std::string PageDoneLine(int page) { return std::string(kPageDoneWord) + std::to_string(page) + "\n"; }
inline std::string PageTakenLine(int page) { return std::string(kPageTakenWord) + std::to_string(page) + "\n"; }
inline std::string PageCountLine(int pages) { return std::string(kPageCountWord) + std::to_string(pages) + "\n"; }

// The page number of a line of the given kind (its line end, LF or CR LF, already gone or not).
inline bool ReadPageLine(std::string_view word, std::string_view line, int& page) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, word.size()) != word) return false;
    line.remove_prefix(word.size());
    const char* end = line.data() + line.size();
    auto [ptr, ec] = std::from_chars(line.data(), end, page);
    return ec == std::errc() && ptr == end && !line.empty() && page > 0;
}

// Splits what comes through a pipe, in pieces of any size, into lines and picks out the page
// lines of one kind. A line too long to be one is skipped, so that a flood costs no memory.
class PageLineReader {
  public:
    explicit PageLineReader(std::string_view word) : word_(word) {}

    // Calls found(page) for every page line completed by bytes.
    template <typename Found>
    void Read(const char* bytes, size_t count, Found&& found) {
        for (size_t i = 0; i < count; ++i) {
            if (bytes[i] != '\n') {
                if (line_.size() < kLongestLine) line_ += bytes[i]; else overlong_ = true;
                continue;
            }
            int page = 0;
            if (!overlong_ && ReadPageLine(word_, line_, page)) found(page);
            line_.clear();
            overlong_ = false;
        }
    }

  private:
    static constexpr size_t kLongestLine = 64;
    std::string_view word_;
    std::string line_;
    bool overlong_ = false;
};

// ---- Lines on the engine's standard error ----------------------------------------------------

// What the engine says of a page that failed because its memory budget was reached; the
// converter recognises it to name the cause for the whole document.
constexpr std::string_view kBudgetReachedWords = "out of memory: the engine's budget of ";
constexpr std::string_view kBudgetReachedEnd = " MiB was reached";

inline std::string BudgetReachedText(unsigned long long mebibytes) {
    return std::string(kBudgetReachedWords) + std::to_string(mebibytes) + std::string(kBudgetReachedEnd);
}

// True for an error line of the engine (its prefix, document and page before the text) that
// says its memory budget was reached.
inline bool SaysBudgetReached(std::string_view line) {
    const size_t start = line.find(kBudgetReachedWords);
    if (start == std::string_view::npos) return false;
    line.remove_prefix(start + kBudgetReachedWords.size());
    size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
    return digits > 0 && line.substr(digits) == kBudgetReachedEnd;
}

// ---- The request ------------------------------------------------------------------------------

// PageCount writes nothing: the engine opens the document and says how many pages it has.
enum class Device { None, PdfWrite, Bmp16m, PageCount };

// The full permission value: the standard security handler's bits 4, 8, 16 and 32. The
// converter sends it less the restrictions the user asked for.
constexpr int kAllPermissions = 60;

// One document information entry, in the order the arguments give them.
struct InfoEntry {
    std::string key;    // Creator, Producer, Title, Author, Subject or Keywords
    std::string value;  // the text itself, without the parentheses it travels in
    bool operator==(const InfoEntry&) const = default;
};

struct SecurityRequest {
    std::string ownerPassword;
    std::string userPassword;
    int keyBits = 40;                   // 40 to 128 in steps of 8 (RC4), or 256 (AES)
    int permissions = kAllPermissions;  // the basic bits 4, 8, 16 and 32
    int revision = 0;                   // the revision asked for, 0 when none was; it must fit the key

    // Revision 3 (RC4) below 256 bits, revision 6 (AES-256) at 256.
    bool UsesAes256() const { return keyBits == 256; }
    bool operator==(const SecurityRequest&) const = default;
};

struct EngineRequest {
    Device device = Device::None;
    std::string outputFile;  // the PDF, or the page file template
    int resolutionX = 72;    // page images only
    int resolutionY = 72;
    std::optional<SecurityRequest> security;  // PDF only; set when any security switch came
    std::vector<InfoEntry> info;
    // Threads drawing page images; 0 means one per processor. The converter never sets it.
    int renderingThreads = 0;
    std::string inputPath;
    bool operator==(const EngineRequest&) const = default;
};

constexpr std::string_view kInfoKeys[] = {"Creator", "Producer", "Title", "Author", "Subject", "Keywords"};

// A password is bytes, not text: PDFDocEncoding is not UTF-8, and a Windows command line passes
// through the code page. Printable ASCII travels as it is ("-sOwnerPassword=secret"), anything
// else as hex digits under the same name with "Hex" ("-sOwnerPasswordHex=70E4").
inline bool PasswordTravelsAsTyped(const std::string& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

inline std::string PasswordHex(const std::string& bytes) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

// The bytes of hex digits; none when the text is not an even number of them.
inline std::optional<std::string> PasswordFromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        auto [ptr, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (ec != std::errc() || ptr != hex.data() + i + 2) return std::nullopt;
        bytes += static_cast<char>(value);
    }
    return bytes;
}

// The arguments after the program name as one command-line text, every piece followed by one
// blank, in the order each device has always been given them. Paths, passwords and texts are
// quoted so that they reach the engine whole; PDF texts travel as PDF literal strings, in
// parentheses. A page-image text of one plain word goes bare.
inline std::string FormatEngineArguments(const EngineRequest& request) {
    const auto quoted = [](const std::string& text) { return platform::QuoteArgument(text); };
    std::string line;
    const bool pdf = request.device == Device::PdfWrite;
    if (pdf) {
        line += "-sDEVICE=pdfwrite -dNOPAUSE -dBATCH -dSAFER ";
    } else if (request.device == Device::Bmp16m) {
        line += "-dNOPAUSE -sDEVICE=bmp16m ";
    } else if (request.device == Device::PageCount) {
        line += "-sDEVICE=pagecount ";
    }
    if (request.device != Device::PageCount) line += "-sOutputFile=" + quoted(request.outputFile) + " ";
    if (!pdf) {
        line += "-r" + std::to_string(request.resolutionX) + "x" + std::to_string(request.resolutionY) + " ";
        if (request.renderingThreads > 0)
            line += "-dNumRenderingThreads=" + std::to_string(request.renderingThreads) + " ";
    }
    if (pdf && request.security) {
        const SecurityRequest& security = *request.security;
        const auto password = [&](const char* name, const std::string& bytes) {
            return PasswordTravelsAsTyped(bytes) ? name + std::string("=") + quoted(bytes) + " "
                                                 : name + std::string("Hex=") + PasswordHex(bytes) + " ";
        };
        line += password("-sOwnerPassword", security.ownerPassword);
        if (!security.userPassword.empty()) line += password("-sUserPassword", security.userPassword);
        if (security.revision != 0) line += "-dEncryptionR=" + std::to_string(security.revision) + " ";
        line += "-dKeyLength=" + std::to_string(security.keyBits) + " ";
        line += "-dPermissions=" + std::to_string(security.permissions) + " ";
    }
    for (const InfoEntry& entry : request.info) {
        const bool plainWord = !entry.value.empty() && entry.value.find_first_of(" \t\"()") == std::string::npos;
        line += "-w" + entry.key + "=" + (pdf || !plainWord ? quoted("(" + entry.value + ")") : entry.value) + " ";
    }
    line += quoted(request.inputPath) + " ";
    return line;
}

struct ParsedRequest {
    EngineRequest request;
    std::vector<std::string> errors;  // one line each; empty when the request can be used
};

namespace detail {

constexpr int kMaxResolution = 10000;
constexpr int kMaxRenderingThreads = 256;

inline bool ParseInt(std::string_view text, int& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// "300" or "300x150".
inline bool ParseResolution(std::string_view text, int& x, int& y) {
    const size_t cross = text.find('x');
    if (cross == std::string_view::npos) {
        if (!ParseInt(text, x)) return false;
        y = x;
    } else if (!ParseInt(text.substr(0, cross), x) || !ParseInt(text.substr(cross + 1), y)) {
        return false;
    }
    return x > 0 && y > 0 && x <= kMaxResolution && y <= kMaxResolution;
}

inline std::string StripParentheses(std::string_view value) {
    if (value.size() >= 2 && value.front() == '(' && value.back() == ')') value = value.substr(1, value.size() - 2);
    return std::string(value);
}

inline void ParseSwitch(std::string_view arg, ParsedRequest& result) {
    EngineRequest& request = result.request;
    std::string_view value;
    const auto take = [&](std::string_view prefix) {
        if (arg.substr(0, prefix.size()) != prefix) return false;
        value = arg.substr(prefix.size());
        return true;
    };
    const auto security = [&]() -> SecurityRequest& {
        if (!request.security) request.security.emplace();
        return *request.security;
    };
    if (take("-sDEVICE=")) {
        if (value == "pdfwrite") {
            request.device = Device::PdfWrite;
        } else if (value == "bmp16m") {
            request.device = Device::Bmp16m;
        } else if (value == "pagecount") {
            request.device = Device::PageCount;
        } else {
            result.errors.push_back("unknown device: " + std::string(value));
        }
    } else if (take("-sOutputFile=")) {
        request.outputFile = std::string(value);
    } else if (take("-r")) {
        if (!ParseResolution(value, request.resolutionX, request.resolutionY))
            result.errors.push_back("invalid resolution: " + std::string(arg));
    } else if (take("-sOwnerPassword=")) {
        security().ownerPassword = std::string(value);
    } else if (take("-sUserPassword=")) {
        security().userPassword = std::string(value);
    } else if (take("-sOwnerPasswordHex=") || take("-sUserPasswordHex=")) {
        const std::optional<std::string> bytes = PasswordFromHex(value);
        if (!bytes) {
            result.errors.push_back("invalid password digits: " + std::string(arg.substr(0, arg.find('=') + 1)));
        } else {
            (arg[2] == 'O' ? security().ownerPassword : security().userPassword) = *bytes;
        }
    } else if (take("-dEncryptionR=")) {
        int revision = 0;
        if (!ParseInt(value, revision) || (revision != 3 && revision != 6)) {
            result.errors.push_back("unsupported encryption revision: " + std::string(value));
        } else {
            security().revision = revision;
        }
        security();
    } else if (take("-dKeyLength=")) {
        int bits = 0;
        // Revision 3 allows 40 to 128 bits in steps of 8; revision 6 has 256-bit keys only.
        if (!ParseInt(value, bits) || (bits != 256 && (bits < 40 || bits > 128 || bits % 8 != 0))) {
            result.errors.push_back("invalid key length: " + std::string(value));
        } else {
            security().keyBits = bits;
        }
    } else if (take("-dPermissions=")) {
        int permissions = 0;
        if (!ParseInt(value, permissions)) {
            result.errors.push_back("invalid permissions: " + std::string(value));
        } else {
            security().permissions = permissions;
        }
    } else if (take("-dNumRenderingThreads=")) {
        int threads = 0;
        if (!ParseInt(value, threads) || threads < 1 || threads > kMaxRenderingThreads) {
            result.errors.push_back("invalid number of rendering threads: " + std::string(value));
        } else {
            request.renderingThreads = threads;
        }
    } else if (take("-w")) {
        for (std::string_view key : kInfoKeys) {
            if (value.substr(0, key.size()) == key && value.size() > key.size() && value[key.size()] == '=') {
                std::string text = StripParentheses(value.substr(key.size() + 1));
                const auto same = [&](const InfoEntry& entry) { return entry.key == key; };
                const auto found = std::find_if(request.info.begin(), request.info.end(), same);
                if (found != request.info.end()) {
                    found->value = std::move(text);  // a later switch wins
                } else {
                    request.info.push_back({std::string(key), std::move(text)});
                }
            }
        }
    }
    // -dNOPAUSE, -dBATCH, -dSAFER and anything unknown need nothing.
}

}  // namespace detail

// Reads the arguments after the program name, as the system split them. The last one is the
// input document; unknown switches are ignored.
inline ParsedRequest ParseEngineArguments(const std::vector<std::string>& arguments) {
    ParsedRequest result;
    if (arguments.empty()) {
        result.errors.push_back("no input document given");
        return result;
    }
    for (size_t i = 0; i + 1 < arguments.size(); ++i) detail::ParseSwitch(arguments[i], result);
    result.request.inputPath = arguments.back();
    if (const auto& security = result.request.security;
        security && security->revision != 0 && (security->revision == 6) != security->UsesAes256()) {
        result.errors.push_back("encryption revision " + std::to_string(security->revision) + " does not take " +
                                std::to_string(security->keyBits) + "-bit keys");
    }
    if (result.request.device == Device::None)
        result.errors.push_back("no output device given (-sDEVICE=pdfwrite or -sDEVICE=bmp16m)");
    if (result.request.outputFile.empty() && result.request.device != Device::PageCount)
        result.errors.push_back("no output file given");
    return result;
}

}  // namespace protocol
