#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/interrupt_registry.h"
#include "platform/platform.h"
#include "platform/win32/child_registry_win32.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

// The exit code TerminateProcess gives: what a kill by signal 9 reads as on the other platform.
constexpr UINT kTerminatedExitCode = 128 + 9;

// The process handles of the started children by id, under the registry's lock: the handle
// keeps the id from being reused until the child was waited for.
std::map<int64_t, HANDLE>& ChildHandles() {
    static auto* handles = new std::map<int64_t, HANDLE>;
    return *handles;
}

// Ids this process ended with TerminateProcessById, so that a child ended that way reads as
// ended by a signal.
std::mutex& TerminatedLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
std::set<int64_t>& TerminatedIds() {
    static auto* ids = new std::set<int64_t>;
    return *ids;
}

// One job for every child, closed only when this process ends, however it ends: the system
// then ends every child still in it. The other platform ends a child with the thread that
// started it; ending with the process is what the callers rely on.
HANDLE ChildJob() {
    static const HANDLE job = [] {
        const HANDLE created = CreateJobObjectA(nullptr, nullptr);
        if (created != nullptr) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
        }
        return created;
    }();
    return job;
}

void CloseHandleOnce(intptr_t& handle) {
    if (handle != -1 && handle != 0) CloseHandle(reinterpret_cast<HANDLE>(handle));
    handle = -1;
}

std::string NameOf(const std::string& entry) {
    // "=C:=C:\folder" entries have their name after the leading '='.
    const size_t equals = entry.find('=', 1);
    return entry.substr(0, equals);
}

// Names compared as the system compares them in an environment block: byte by byte, with the
// letters taken as capitals, without regard to any locale.
int CompareNames(const std::string& a, const std::string& b) {
    const auto upper = [](char c) {
        return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    };
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        if (upper(a[i]) != upper(b[i])) return upper(a[i]) < upper(b[i]) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool NameBefore(const std::string& a, const std::string& b) { return CompareNames(NameOf(a), NameOf(b)) < 0; }

// This process's environment with the extra "NAME=value" entries, as the block process creation
// takes: sorted by name without regard to case, each entry closed by a null, one more null at
// the end. An extra entry replaces an inherited one of the same name in any letter case.
std::string ChildEnvironmentBlock(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    if (char* block = GetEnvironmentStringsA()) {
        for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
            const std::string inherited = entry;
            const std::string name = NameOf(inherited);
            const auto sameName = [&](const std::string& added) { return CompareNames(NameOf(added), name) == 0; };
            if (std::none_of(extra.begin(), extra.end(), sameName)) entries.push_back(inherited);
        }
        FreeEnvironmentStringsA(block);
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    std::stable_sort(entries.begin(), entries.end(), NameBefore);
    std::string text;
    for (const std::string& entry : entries) {
        text += entry;
        text.push_back('\0');
    }
    text.push_back('\0');
    return text;
}

// Hands on the messages waiting for this thread, as a thread that may own windows (a message
// box's, a library's) must while it waits.
void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// How an exit code reads when an exception ended the process: the system's status codes of
// errors (0xC0000005 access violation, 0xC00000FD stack overflow, 0xC0000409 a failed check),
// and the breakpoint a debug trap raises. Empty for a code the program chose.
std::string ExceptionText(DWORD code) {
    if ((code < 0xC0000000u || code >= 0xD0000000u) && code != 0x80000003u) return std::string();
    char text[32];
    std::snprintf(text, sizeof(text), "exception 0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// Forgets the child once it has ended: its exit code read, its handle closed. The lock is held.
void Reap(ChildProcess& child, HANDLE process) {
    DWORD code = 0;
    child.exitCode = GetExitCodeProcess(process, &code) ? static_cast<int>(code) : -1;
    {
        const std::lock_guard<std::mutex> held(TerminatedLock());
        child.signalled = TerminatedIds().erase(child.id) > 0 && code == kTerminatedExitCode;
    }
    child.crash = child.signalled ? std::string("terminated") : ExceptionText(code);
    CloseHandle(process);
    ChildHandles().erase(child.id);
    interrupt::RemoveChild(child.id);
    child.id = -1;
}

HANDLE HandleOf(const ChildProcess& child) {
    const auto found = ChildHandles().find(child.id);
    return found == ChildHandles().end() ? nullptr : found->second;
}

}  // namespace

namespace win32 {

void EndRegisteredChild(int64_t id) {
    const auto found = ChildHandles().find(id);
    if (found == ChildHandles().end()) return;
    TerminateProcess(found->second, kTerminatedExitCode);
    WaitForSingleObject(found->second, INFINITE);
}

}  // namespace win32

bool StartChildProcess(const std::vector<std::string>& arguments, ChildProcess& child,
                       const std::vector<std::string>& extraEnvironment, bool errorIntoOutput) {
    child = ChildProcess{};
    if (arguments.empty() || arguments[0].empty()) return false;
    // A bare program name is found beside this program, never on the search path.
    const std::string application = arguments[0].find_first_of("\\/") == std::string::npos
                                        ? ProgramFolder() + arguments[0]
                                        : arguments[0];
    std::string commandLine;
    for (const std::string& argument : arguments) {
        if (!commandLine.empty()) commandLine.push_back(' ');
        commandLine += QuoteArgument(argument);
    }
    std::string environment;
    if (!extraEnvironment.empty()) environment = ChildEnvironmentBlock(extraEnvironment);

    // Every end is made uninheritable; the child's ends become inheritable only for the moment
    // of the creation, under the registry's lock, which every child start takes: a child
    // started by another thread at the same time never holds this child's pipe ends (it would
    // keep the output pipe from ending).
    HANDLE outputRead = nullptr, outputWrite = nullptr, inputRead = nullptr, inputWrite = nullptr;
    if (!CreatePipe(&outputRead, &outputWrite, nullptr, 0)) return false;
    if (!CreatePipe(&inputRead, &inputWrite, nullptr, 0)) {
        CloseHandle(outputRead);
        CloseHandle(outputWrite);
        return false;
    }
    // Crash and missing-file dialogs off; the child inherits the mode, as nobody would be there
    // to dismiss them.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

    PROCESS_INFORMATION created{};
    bool started = false;
    {
        // Started and registered as one step: an interrupt never misses this child.
        const auto held = interrupt::LockRegistry();
        HANDLE errorHandle = nullptr;
        const HANDLE ourError = errorIntoOutput ? outputWrite : GetStdHandle(STD_ERROR_HANDLE);
        if (ourError != nullptr && ourError != INVALID_HANDLE_VALUE)
            DuplicateHandle(GetCurrentProcess(), ourError, GetCurrentProcess(), &errorHandle, 0, TRUE,
                            DUPLICATE_SAME_ACCESS);
        SetHandleInformation(outputWrite, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        SetHandleInformation(inputRead, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        STARTUPINFOEXW extended{};
        STARTUPINFOW& startup = extended.StartupInfo;
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inputRead;
        startup.hStdOutput = outputWrite;
        startup.hStdError = errorHandle;
        // The child inherits its three standard handles and nothing else: a page file another
        // thread has open at this moment must not stay open in the child, where it could not
        // be deleted until that child ends.
        HANDLE inherited[3] = {inputRead, outputWrite, errorHandle};
        const DWORD inheritedCount = errorHandle != nullptr ? 3 : 2;
        SIZE_T listSize = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
        std::vector<char> listBuffer(listSize);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBuffer.data());
        DWORD creationFlags = CREATE_SUSPENDED;
        if (listSize > 0 && InitializeProcThreadAttributeList(list, 1, 0, &listSize)) {
            if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                          inheritedCount * sizeof(HANDLE), nullptr, nullptr)) {
                extended.lpAttributeList = list;
                startup.cb = sizeof(extended);
                creationFlags |= EXTENDED_STARTUPINFO_PRESENT;
            } else {
                DeleteProcThreadAttributeList(list);
                list = nullptr;
            }
        } else {
            list = nullptr;
        }
        // Wide, as the system takes a program path and command line beyond 260 characters only
        // there; the environment block stays in the code page (no CREATE_UNICODE_ENVIRONMENT).
        const std::wstring program = win32::Wide(application);
        std::wstring line = win32::Wide(commandLine);
        // Suspended until it is in the job, so that not even its first instruction runs outside.
        // A start refused with an internal error (seen when several processes start programs at
        // once) is tried again, so that a passing hiccup does not cost a document.
        for (int attempt = 0; attempt < 3; ++attempt) {
            started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, creationFlags,
                                     environment.empty() ? nullptr : environment.data(), nullptr, &startup,
                                     &created) != 0;
            if (started || GetLastError() != ERROR_INTERNAL_ERROR) break;
            Sleep(50);
        }
        if (list != nullptr) DeleteProcThreadAttributeList(list);
        if (errorHandle != nullptr) CloseHandle(errorHandle);
        if (started) {
            // Without a job (the system refused one) the child still runs; only its ending with
            // this process is then up to the caller's waits.
            const HANDLE job = ChildJob();
            if (job != nullptr) AssignProcessToJobObject(job, created.hProcess);
            ChildHandles()[created.dwProcessId] = created.hProcess;
            interrupt::AddChild(created.dwProcessId);
            ResumeThread(created.hThread);
            CloseHandle(created.hThread);
        }
    }
    CloseHandle(outputWrite);
    CloseHandle(inputRead);
    if (!started) {
        CloseHandle(outputRead);
        CloseHandle(inputWrite);
        return false;
    }
    child.id = created.dwProcessId;
    child.outputPipe = reinterpret_cast<intptr_t>(outputRead);
    child.inputPipe = reinterpret_cast<intptr_t>(inputWrite);
    return true;
}

size_t ReadChildOutput(ChildProcess& child, char* buffer, size_t size) {
    if (child.outputPipe == -1 || size == 0) return 0;
    DWORD count = 0;
    const DWORD asked = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    // A failed read, ERROR_BROKEN_PIPE included, is the end of the output.
    if (!ReadFile(reinterpret_cast<HANDLE>(child.outputPipe), buffer, asked, &count, nullptr)) return 0;
    return count;
}

bool WriteChildInput(ChildProcess& child, const char* data, size_t size) {
    if (child.inputPipe == -1 || child.inputPipe == 0) return false;
    while (size > 0) {
        DWORD count = 0;
        const DWORD asked = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        // A child that has ended fails the write (ERROR_NO_DATA); Windows raises no signal.
        if (!WriteFile(reinterpret_cast<HANDLE>(child.inputPipe), data, asked, &count, nullptr) || count == 0)
            return false;
        data += count;
        size -= count;
    }
    return true;
}

size_t ReadStandardInput(char* buffer, size_t size) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE || size == 0) return 0;
    DWORD count = 0;
    const DWORD asked = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    // A failed read, ERROR_BROKEN_PIPE included, is the end of the input.
    if (!ReadFile(input, buffer, asked, &count, nullptr)) return 0;
    return count;
}

bool WaitForChildOutput(ChildProcess& child, int timeoutMs) {
    if (child.outputPipe == -1) return true;
    const HANDLE pipe = reinterpret_cast<HANDLE>(child.outputPipe);
    const ULONGLONG start = GetTickCount64();
    // Anonymous pipes cannot be waited on: they are looked at every few milliseconds.
    DWORD stepMs = 1;
    while (true) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return true;  // ended
        if (available > 0) return true;
        PumpMessages();
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (timeoutMs <= 0 || elapsed >= static_cast<ULONGLONG>(timeoutMs)) return false;
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(stepMs, timeoutMs - elapsed)));
        stepMs = std::min<DWORD>(stepMs * 2, 10);
    }
}

bool WaitChildProcess(ChildProcess& child, int timeoutMs) {
    if (child.id <= 0) return true;
    HANDLE process;
    {
        const auto held = interrupt::LockRegistry();
        process = HandleOf(child);
    }
    if (process == nullptr) return true;
    const ULONGLONG start = GetTickCount64();
    while (true) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        const DWORD remaining =
            elapsed >= static_cast<ULONGLONG>(std::max(timeoutMs, 0)) ? 0 : static_cast<DWORD>(timeoutMs - elapsed);
        // Wakes when the child ends or a message arrives for this thread.
        const DWORD woke = MsgWaitForMultipleObjects(1, &process, FALSE, remaining, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_OBJECT_0 + 1) {
            PumpMessages();
            continue;
        }
        if (woke == WAIT_TIMEOUT) return false;
        // The wait itself failed: a plain wait for what is left.
        if (WaitForSingleObject(process, remaining) != WAIT_OBJECT_0) return false;
        break;
    }
    const auto held = interrupt::LockRegistry();
    Reap(child, process);
    return true;
}

void KillChildProcess(ChildProcess& child) {
    if (child.id <= 0) return;
    const auto held = interrupt::LockRegistry();
    const HANDLE process = HandleOf(child);
    if (process != nullptr) {
        TerminateProcess(process, kTerminatedExitCode);
        WaitForSingleObject(process, INFINITE);
        Reap(child, process);
    }
    child.id = -1;
    child.exitCode = -1;  // ended by us: its work may be incomplete
    child.signalled = false;
    child.crash.clear();
}

void CloseChildProcess(ChildProcess& child) {
    CloseHandleOnce(child.outputPipe);
    CloseHandleOnce(child.inputPipe);
}

bool TerminateProcessById(int64_t id) {
    if (id <= 0 || id > 0xFFFFFFFFll) return false;
    const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) return false;
    {
        const std::lock_guard<std::mutex> held(TerminatedLock());
        TerminatedIds().insert(id);
    }
    const bool ended = TerminateProcess(process, kTerminatedExitCode) != 0;
    CloseHandle(process);
    if (!ended) {
        const std::lock_guard<std::mutex> held(TerminatedLock());
        TerminatedIds().erase(id);
    }
    return ended;
}

}  // namespace platform
