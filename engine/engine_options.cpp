#include "engine/engine_options.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace engine {
namespace {

constexpr int kMaxResolution = 10000;
constexpr int kMaxRenderingThreads = 256;

bool ParseInt(std::string_view text, int& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// "-r300" or "-r300x150".
bool ParseResolution(std::string_view text, int& x, int& y) {
    size_t cross = text.find('x');
    if (cross == std::string_view::npos) {
        if (!ParseInt(text, x)) return false;
        y = x;
    } else if (!ParseInt(text.substr(0, cross), x) || !ParseInt(text.substr(cross + 1), y)) {
        return false;
    }
    return x > 0 && y > 0 && x <= kMaxResolution && y <= kMaxResolution;
}

// The driver wraps information texts in parentheses, the form of a PDF literal string.
std::string StripParentheses(std::string_view value) {
    if (value.size() >= 2 && value.front() == '(' && value.back() == ')') {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

SecurityRequest& Security(EngineOptions& options) {
    if (!options.security) options.security.emplace();
    return *options.security;
}

void ParseSwitch(std::string_view arg, ParseResult& result) {
    EngineOptions& options = result.options;
    static constexpr std::string_view kInfoKeys[] = {"Creator", "Producer", "Title",
                                                     "Author",  "Subject",  "Keywords"};
    std::string_view value;
    auto take = [&](std::string_view prefix) {
        if (!StartsWith(arg, prefix)) return false;
        value = arg.substr(prefix.size());
        return true;
    };
    if (take("-sDEVICE=")) {
        if (value == "pdfwrite") {
            options.device = OutputDevice::PdfWrite;
        } else if (value == "bmp16m") {
            options.device = OutputDevice::Bmp16m;
        } else {
            result.errors.push_back("unknown device: " + std::string(value));
        }
    } else if (take("-sOutputFile=")) {
        options.outputFile = std::string(value);
    } else if (take("-r")) {
        if (!ParseResolution(value, options.resolutionX, options.resolutionY)) {
            result.errors.push_back("invalid resolution: " + std::string(arg));
        }
    } else if (take("-sOwnerPassword=")) {
        Security(options).ownerPassword = std::string(value);
    } else if (take("-sUserPassword=")) {
        Security(options).userPassword = std::string(value);
    } else if (take("-dEncryptionR=")) {
        int revision = 0;
        if (!ParseInt(value, revision) || (revision != 3 && revision != 6)) {
            result.errors.push_back("unsupported encryption revision: " + std::string(value));
        } else {
            Security(options).revision = revision;
        }
        Security(options);
    } else if (take("-dKeyLength=")) {
        int bits = 0;
        // Revision 3 allows 40 to 128 bits in steps of 8; revision 6 has 256-bit keys only.
        if (!ParseInt(value, bits) || (bits != 256 && (bits < 40 || bits > 128 || bits % 8 != 0))) {
            result.errors.push_back("invalid key length: " + std::string(value));
        } else {
            Security(options).keyBits = bits;
        }
    } else if (take("-dPermissions=")) {
        int permissions = 0;
        if (!ParseInt(value, permissions)) {
            result.errors.push_back("invalid permissions: " + std::string(value));
        } else {
            Security(options).permissions = permissions;
        }
    } else if (take("-dNumRenderingThreads=")) {
        int threads = 0;
        if (!ParseInt(value, threads) || threads < 1 || threads > kMaxRenderingThreads) {
            result.errors.push_back("invalid number of rendering threads: " + std::string(value));
        } else {
            options.renderingThreads = threads;
        }
    } else if (take("-w")) {
        for (std::string_view key : kInfoKeys) {
            if (StartsWith(value, key) && value.size() > key.size() && value[key.size()] == '=') {
                std::string text = StripParentheses(value.substr(key.size() + 1));
                auto same = [&](const InfoEntry& entry) { return entry.key == key; };
                auto found = std::find_if(options.info.begin(), options.info.end(), same);
                if (found != options.info.end()) {
                    found->value = std::move(text);  // a later switch wins
                } else {
                    options.info.push_back({std::string(key), std::move(text)});
                }
            }
        }
    }
    // -dNOPAUSE, -dBATCH, -dSAFER and anything unknown need nothing.
}

}  // namespace

ParseResult ParseEngineArguments(const std::vector<std::string>& arguments) {
    ParseResult result;
    if (arguments.empty()) {
        result.errors.push_back("no input document given");
        return result;
    }
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        ParseSwitch(arguments[i], result);
        // Passwords stay out: the identifier is public and must not help to guess them.
        const std::string& argument = arguments[i];
        if (StartsWith(argument, "-sOutputFile=")) continue;
        if (StartsWith(argument, "-sOwnerPassword=") || StartsWith(argument, "-sUserPassword=")) {
            result.options.identity.push_back(argument.substr(0, argument.find('=') + 1));
        } else {
            result.options.identity.push_back(argument);
        }
    }
    result.options.inputPath = arguments.back();
    result.options.identity.push_back(arguments.back());
    if (const auto& security = result.options.security;
        security && security->revision != 0 && (security->revision == 6) != security->UsesAes256()) {
        result.errors.push_back("encryption revision " + std::to_string(security->revision) +
                                " does not take " + std::to_string(security->keyBits) + "-bit keys");
    }
    if (result.options.device == OutputDevice::None) {
        result.errors.push_back("no output device given (-sDEVICE=pdfwrite or -sDEVICE=bmp16m)");
    }
    if (result.options.outputFile.empty()) result.errors.push_back("no output file given");
    return result;
}

}  // namespace engine
