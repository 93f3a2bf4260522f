#include <cstdlib>

#include "platform/platform.h"

namespace platform {

bool ProgramArgumentsText(std::string&) { return false; }

std::string PathForUtf8Library(const std::string& path) { return path; }

std::string ArgumentTextAsUtf8(const std::string& text) { return text; }

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    return setenv(name.c_str(), value.c_str(), 1) == 0;
}

}  // namespace platform
