#include <cstdlib>

#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace platform {

bool ProgramArgumentsText(std::string& text) {
    const char* line = GetCommandLineA();
    if (line == nullptr) line = "";
    // The program's own name by the C runtime's rule: quotes toggle, no backslash escapes, and
    // a blank or tab outside quotes ends it.
    bool quoted = false;
    while (*line != '\0' && (quoted || (*line != ' ' && *line != '\t'))) {
        if (*line == '"') quoted = !quoted;
        ++line;
    }
    while (*line == ' ' || *line == '\t') ++line;
    text = line;
    return true;
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    // Both copies: libraries read the C runtime's with getenv, children inherit the system's.
    const bool runtime = _putenv_s(name.c_str(), value.c_str()) == 0;
    const bool system = SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
    return runtime && system;
}

}  // namespace platform
