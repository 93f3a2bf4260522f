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

// A long path gains the extended-length prefix here too: the libraries open files with the wide
// calls, which take a long path without it only where the system's long-path setting is on.
std::string PathForUtf8Library(const std::string& path) { return win32::Utf8(win32::WidePath(path)); }

// With the manifest's UTF-8 code page the text is UTF-8 already and passes as it is.
std::string ArgumentTextAsUtf8(const std::string& text) {
    if (text.empty() || GetACP() == CP_UTF8) return text;
    const std::string utf8 = win32::Utf8(win32::Wide(text));
    return utf8.empty() ? std::string(text.size(), '?') : utf8;
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    // Both copies: libraries read the C runtime's with getenv, children inherit the system's.
    const bool runtime = _putenv_s(name.c_str(), value.c_str()) == 0;
    const bool system = SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
    return runtime && system;
}

}  // namespace platform
