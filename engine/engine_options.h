#pragma once
// The engine's command line: device, output, resolution, security and document information.

#include <optional>
#include <string>
#include <vector>

namespace engine {

enum class OutputDevice { None, PdfWrite, Bmp16m };

// One document information entry, in the order the arguments gave them.
struct InfoEntry {
    std::string key;    // Creator, Producer, Title, Author, Subject or Keywords
    std::string value;  // the text, its enclosing parentheses removed
};

struct SecurityRequest {
    std::string ownerPassword;
    std::string userPassword;
    int keyBits = 40;      // 40 to 128 in steps of 8 (RC4), or 256 (AES)
    int permissions = 60;  // the basic bits 4, 8, 16 and 32, as the caller sends them
    int revision = 0;      // the revision asked for, 0 when none was; it must fit the key

    // Revision 3 (RC4) below 256 bits, revision 6 (AES-256) at 256.
    bool UsesAes256() const { return keyBits == 256; }
};

struct EngineOptions {
    OutputDevice device = OutputDevice::None;
    std::string outputFile;
    std::string inputPath;
    int resolutionX = 72;
    int resolutionY = 72;
    std::optional<SecurityRequest> security;  // set when any password or encryption switch came
    std::vector<InfoEntry> info;
    // Every argument except the output file, in order, password values left out: with the
    // content it decides the bytes written, so it goes into the file identifier.
    std::vector<std::string> identity;
    // Threads drawing page images; 0 means one per processor. The driver never sets it.
    int renderingThreads = 0;
};

struct ParseResult {
    EngineOptions options;
    std::vector<std::string> errors;  // one line each; empty when the options can be used
};

// Reads the arguments after the program name. The last one is the input document; unknown
// switches are ignored.
ParseResult ParseEngineArguments(const std::vector<std::string>& arguments);

}  // namespace engine
