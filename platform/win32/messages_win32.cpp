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

// Someone reads this process's standard output: it goes to a file or a pipe, or to a console
// that another process shares (the command prompt the program was started from).
bool OutputHasReader(HANDLE output) {
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(output);
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) return true;
    if (type != FILE_TYPE_CHAR) return false;
    DWORD mode = 0;
    // A character device that is no console (NUL, a serial line): written to as asked.
    if (!GetConsoleMode(output, &mode)) return true;
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) > 1;
}

// The file's bytes as they are: the C runtime's text mode would double the help file's CRLF.
bool CopyFileToOutput(const std::string& path, HANDLE output) {
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return false;
    const HANDLE file = CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::fflush(stdout);
    char buffer[4096];
    DWORD count = 0;
    bool ok = true;
    while (ok && ReadFile(file, buffer, sizeof(buffer), &count, nullptr) && count > 0) {
        DWORD written = 0;
        for (DWORD at = 0; ok && at < count; at += written)
            ok = WriteFile(output, buffer + at, count - at, &written, nullptr) && written > 0;
    }
    CloseHandle(file);
    return ok;
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
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    // Alone on a console made for this run (started from Explorer) the text would vanish with
    // the window, and without any output nobody would see it: the shell's default action then.
    // Where the shell has nothing to open the file with, the text still goes to the output.
    if (!OutputHasReader(output) &&
        reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32)
        return true;
    return CopyFileToOutput(path, output);
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
