// The Windows side of the test support, for tests run under Wine by scripts/run-under-wine.sh:
// reader commands go to the Linux shell through a spool folder that the script serves, and this
// project's programs are started natively with a command line given to the letter.
#include <windows.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

bool IsDrivePath(const std::string& text, size_t at) {
    return text.size() >= at + 3 && std::isalpha(static_cast<unsigned char>(text[at])) && text[at + 1] == ':' &&
           (text[at + 2] == '\\' || text[at + 2] == '/');
}

// C:\a\b -> PREFIX/dosdevices/c:/a/b, the Linux path of the same file; Z: is the root itself.
// The path may follow a reader's "FORMAT:" or an option's "NAME=" (ppm:C:\x, -sOutputFile=C:\x).
std::string LinuxPathOf(const std::string& word) {
    size_t at = 0;
    if (!IsDrivePath(word, 0)) {
        const size_t mark = word.find_first_of(":=");
        if (mark == std::string::npos || !IsDrivePath(word, mark + 1)) return word;
        at = mark + 1;
    }
    std::string rest = word.substr(at + 3);
    for (char& c : rest) {
        if (c == '\\') c = '/';
    }
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(word[at])));
    std::string root = "/";
    if (drive != 'z') {
        const char* prefix = std::getenv("WINEPREFIX");
        root = std::string(prefix != nullptr ? prefix : "") + "/dosdevices/" + drive + ":/";
    }
    return word.substr(0, at) + root + rest;
}

// The environment block of a child: this process's, with the given settings replacing or
// joining its variables (names compare without case, as Windows does).
std::string EnvironmentBlock(const std::vector<std::string>& settings) {
    std::vector<std::string> variables;
    if (char* strings = GetEnvironmentStringsA()) {
        for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) variables.emplace_back(entry);
        FreeEnvironmentStringsA(strings);
    }
    auto nameOf = [](const std::string& variable) {
        std::string name = variable.substr(0, variable.find('=', 1));
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return name;
    };
    for (const std::string& setting : settings) {
        std::erase_if(variables, [&](const std::string& v) { return nameOf(v) == nameOf(setting); });
        variables.push_back(setting);
    }
    std::string block;
    for (const std::string& variable : variables) block += variable + '\0';
    return block + '\0';
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Writes the whole text or says why not; the file is closed either way. "N": no program
// started meanwhile inherits the handle.
bool WriteWholeFile(const std::string& path, const std::string& text, std::string& reason) {
    std::FILE* file = std::fopen(path.c_str(), "wbN");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (!written) reason = std::strerror(errno);
    if (std::fclose(file) != 0) {
        if (written) reason = std::strerror(errno);
        return false;
    }
    return written;
}

}  // namespace

std::string ShellQuote(const std::string& word) { return PosixShellWord(LinuxPathOf(word)); }

ShellResult RunShell(const std::string& command) {
    ShellResult result;
    const char* spool = std::getenv("XPSCONV_READER_SPOOL");
    if (spool == nullptr || *spool == '\0') {
        result.err = "no reader bridge: run the Windows tests through scripts/run-under-wine.sh";
        return result;
    }
    static std::atomic<unsigned> counter{0};
    const std::string base = std::string(spool) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(counter++);
    // The bridge takes a request once its empty ".ready" mark appears, so the command is all
    // there by then. Nothing is renamed on this side: Wine's rename of a name the bridge may
    // already be looking at is the one step here that has been seen to fail.
    std::string reason;
    bool handed = false;
    for (int attempt = 0; attempt < 20 && !handed; ++attempt) {
        if (attempt > 0) Sleep(50);
        handed = WriteWholeFile(base + ".sh", command + "\n", reason) && WriteWholeFile(base + ".ready", "", reason);
    }
    if (!handed) {
        result.err = "cannot hand a command to the reader bridge at " + base + ": " + reason;
        return result;
    }
    std::error_code error;
    while (!fs::exists(base + ".code", error)) Sleep(2);
    result.out = ReadFile(base + ".out");
    result.err = ReadFile(base + ".err");
    const std::string codeText = ReadFile(base + ".code");
    result.exitCode = codeText.empty() ? -1 : std::atoi(codeText.c_str());
    for (const char* suffix : {".sh", ".out", ".err", ".code"}) fs::remove(base + suffix, error);
    return result;
}

bool HaveTool(const std::string& name) {
    return RunShell("command -v " + ShellQuote(name) + " >/dev/null 2>&1").exitCode == 0;
}

std::string ProgramFile(const std::string& name) { return name + ".exe"; }
std::string HelperLibrary(const std::string& name) { return TestHelpersDir() + "/" + name + ".dll"; }
std::string ArgQuote(const std::string& argument) { return platform::QuoteArgument(argument); }

ShellResult RunProgram(const std::string& program, const std::string& arguments, const ProgramOptions& options) {
    ShellResult result;
    TempDir capture;
    const std::string outPath = capture / "out";
    const std::string errPath = capture / "err";
    HANDLE input = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE output = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE error = InheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    std::vector<std::string> settings = options.environment;
    if (!options.tempFolder.empty()) {
        settings.insert(settings.begin(), {"TMP=" + options.tempFolder, "TEMP=" + options.tempFolder});
    }
    std::string environment = EnvironmentBlock(settings);
    std::string line = platform::QuoteArgument(program) + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION process{};
    // Wine now and then refuses a start made while other threads start programs too
    // (ERROR_INTERNAL_ERROR); a second try succeeds.
    bool started = false;
    DWORD startError = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, environment.data(),
                                 options.folder.empty() ? nullptr : options.folder.c_str(), &startup, &process);
        startError = started ? ERROR_SUCCESS : GetLastError();
        if (startError != ERROR_INTERNAL_ERROR) break;
        Sleep(50);
    }
    for (HANDLE handle : {input, output, error}) {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    if (!started) {
        result.err = "cannot start " + program + " (error " + std::to_string(startError) + ")";
        return result;
    }
    CloseHandle(process.hThread);
    DWORD code = 124;
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(options.timeoutSeconds) * 1000) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 124);
        WaitForSingleObject(process.hProcess, INFINITE);
    } else {
        GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hProcess);
    result.exitCode = static_cast<int>(code);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}
