#include "engine/runtime/engine_options.h"

#include <string_view>

namespace engine {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

ParseResult ParseEngineArguments(const std::vector<std::string>& arguments) {
    protocol::ParsedRequest parsed = protocol::ParseEngineArguments(arguments);
    ParseResult result;
    static_cast<protocol::EngineRequest&>(result.options) = std::move(parsed.request);
    result.errors = std::move(parsed.errors);
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        // Passwords stay out: the identifier is public and must not help to guess them.
        const std::string& argument = arguments[i];
        if (StartsWith(argument, "-sOutputFile=")) continue;
        if (StartsWith(argument, "-sOwnerPassword") || StartsWith(argument, "-sUserPassword")) {
            result.options.identity.push_back(argument.substr(0, argument.find('=') + 1));
        } else {
            result.options.identity.push_back(argument);
        }
    }
    if (!arguments.empty()) result.options.identity.push_back(arguments.back());
    return result;
}

}  // namespace engine
