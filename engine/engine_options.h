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
    int keyBits = 40;
    int permissions = 60;  // the basic bits 4, 8, 16 and 32, as the caller sends them
};

struct EngineOptions {
    OutputDevice device = OutputDevice::None;
    std::string outputFile;
    std::string inputPath;
    int resolutionX = 72;
    int resolutionY = 72;
    std::optional<SecurityRequest> security;  // set when any password or encryption switch came
    std::vector<InfoEntry> info;
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
