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

namespace {

// Text of the ANSI code page in UTF-8. With the manifest's UTF-8 code page it is UTF-8 already
// and passes as it is; on older systems it is converted through UTF-16. Empty when it cannot be
// converted.
std::string AnsiToUtf8(const std::string& text) {
    if (text.empty() || GetACP() == CP_UTF8) return text;
    const int size = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (wideLength <= 0) return std::string();
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), wideLength);
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

}  // namespace

std::string PathForUtf8Library(const std::string& path) { return AnsiToUtf8(path); }

std::string ArgumentTextAsUtf8(const std::string& text) {
    const std::string utf8 = AnsiToUtf8(text);
    return utf8.empty() ? std::string(text.size(), '?') : utf8;
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    // Both copies: libraries read the C runtime's with getenv, children inherit the system's.
    const bool runtime = _putenv_s(name.c_str(), value.c_str()) == 0;
    const bool system = SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
    return runtime && system;
}

}  // namespace platform
