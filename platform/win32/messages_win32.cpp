#include "platform/win32/windows_api.h"

#include <shellapi.h>

#include <cstdio>

#include "platform/platform.h"

namespace platform {

namespace {

// One line written with one call and flushed, so lines of two threads never mix.
void WriteLine(std::FILE* stream, const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// A message box needs a window station that someone sees: a service's, or a session without
// a desktop, would leave the box waiting for a click that never comes.
bool InteractiveDesktop() {
    HWINSTA station = GetProcessWindowStation();
    if (station == nullptr) return false;
    USEROBJECTFLAGS flags{};
    if (!GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), nullptr)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void ShowErrorMessage(const std::string& caption, const std::string& text) {
    if (InteractiveDesktop() &&
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND) > 0)
        return;
    // No box could be shown (no desktop, or the box failed at once): the same words on standard
    // error, as on the other platform.
    WriteLine(stderr, caption + ": " + text);
}

bool OpenHelpFile(const std::string& path) {
    // The shell's default action for the file, with no owner window, verb or parameters.
    const HINSTANCE result = ShellExecuteA(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<intptr_t>(result) > 32;
}

void ReportError(const std::string& line) { WriteLine(stderr, line); }

void WriteErrorText(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool ErrorIsTerminal() {
    DWORD mode = 0;
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    return error != nullptr && error != INVALID_HANDLE_VALUE && GetConsoleMode(error, &mode) != 0;
}

void WriteOutput(const std::string& line) { WriteLine(stdout, line); }

}  // namespace platform
