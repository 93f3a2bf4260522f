#pragma once
// The engine's command line: the request the converter sends (protocol/engine_protocol.h), and
// what the engine derives from the arguments themselves.

#include <string>
#include <vector>

#include "protocol/engine_protocol.h"

namespace engine {

using OutputDevice = protocol::Device;
using InfoEntry = protocol::InfoEntry;
using SecurityRequest = protocol::SecurityRequest;

struct EngineOptions : protocol::EngineRequest {
    // Every argument except the output file, in order, password values left out: with the
    // content it decides the bytes written, so it goes into the file identifier.
    std::vector<std::string> identity;
};

struct ParseResult {
    EngineOptions options;
    std::vector<std::string> errors;  // one line each; empty when the options can be used
};

// Reads the arguments after the program name. The last one is the input document; unknown
// switches are ignored.
ParseResult ParseEngineArguments(const std::vector<std::string>& arguments);

}  // namespace engine
