#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/interrupt_registry.h"
#include "platform/platform.h"

extern char** environ;

namespace platform {

static void CloseDescriptor(intptr_t& fd) {
    if (fd >= 0) close(static_cast<int>(fd));
    fd = -1;
}

// This process's environment with the extra "NAME=value" entries; an extra entry replaces an
// inherited variable of the same name, so the child never sees two values for one name.
static std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** inherited = environ; inherited != nullptr && *inherited != nullptr; ++inherited) {
        const std::string entry = *inherited;
        const auto sameName = [&](const std::string& added) { return nameOf(added) == nameOf(entry); };
        if (std::none_of(extra.begin(), extra.end(), sameName)) entries.push_back(entry);
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

// Moves a descriptor above standard error, so that setting up 0 and 1 cannot overwrite it.
// Async-signal-safe: runs in the forked child.
static int AboveStandardError(int fd) {
    if (fd > STDERR_FILENO) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    return moved < 0 ? fd : moved;
}

// Puts fd on target without close-on-exec (dup2 onto itself would leave the flag on).
static bool PlaceDescriptor(int fd, int target) {
    if (fd == target) return fcntl(fd, F_SETFD, 0) == 0;
    return dup2(fd, target) == target;
}

// The forked child, up to exec: only async-signal-safe calls, as another thread of the parent
// may have held any lock at the moment of the fork.
[[noreturn]] static void BecomeChild(const char* executable, char* const* argv, char* const* envp,
                                     int input, int output, bool errorIntoOutput, int errorReport, pid_t parent) {
    // The child dies with the thread that started it. The runner waits for its engine on the
    // thread that started it, so that thread outlives the engine unless this process ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);  // the parent ended before the request took effect
    // Back to the defaults, except what this process was told to ignore (a background job,
    // nohup), and none of the blocks the forking thread had.
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigemptyset(&standard.sa_mask);
        sigaction(signalNumber, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    errorReport = AboveStandardError(errorReport);
    input = AboveStandardError(input);
    output = AboveStandardError(output);
    if (PlaceDescriptor(input, STDIN_FILENO) && PlaceDescriptor(output, STDOUT_FILENO) &&
        (!errorIntoOutput || dup2(STDOUT_FILENO, STDERR_FILENO) == STDERR_FILENO))
        execve(executable, argv, envp);
    // Only the errno, for the parent to see; the child itself writes nothing anywhere.
    const int reason = errno;
    ssize_t written;
    do {
        written = write(errorReport, &reason, sizeof(reason));
    } while (written < 0 && errno == EINTR);
    _exit(127);
}

bool StartChildProcess(const std::vector<std::string>& arguments, ChildProcess& child,
                       const std::vector<std::string>& extraEnvironment, bool errorIntoOutput) {
    child = ChildProcess{};
    if (arguments.empty() || arguments[0].empty()) return false;
    // A bare program name is found beside this program, never on the search path.
    const std::string executable =
        arguments[0].find('/') == std::string::npos ? ProgramFolder() + arguments[0] : arguments[0];

    // Everything the child needs is made before the fork: it may not allocate.
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    std::vector<char*> envp;
    if (!extraEnvironment.empty()) {
        environment = ChildEnvironment(extraEnvironment);
        envp.reserve(environment.size() + 1);
        for (std::string& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);
    }
    char* const* childEnvironment = envp.empty() ? environ : envp.data();

    // Output, input, and the report of a failed exec (closed on exec: end of file means the
    // program is running).
    int pipes[3][2];
    int made = 0;
    for (; made < 3; ++made) {
        if (pipe2(pipes[made], O_CLOEXEC) != 0) break;
    }
    if (made < 3) {
        for (int i = 0; i < made; ++i) {
            close(pipes[i][0]);
            close(pipes[i][1]);
        }
        return false;
    }
    int(&outputPipe)[2] = pipes[0];
    int(&inputPipe)[2] = pipes[1];
    int(&errorPipe)[2] = pipes[2];

    const pid_t parent = getpid();
    pid_t pid;
    {
        // Started and registered as one step: an interrupt never misses this child.
        const auto held = interrupt::LockRegistry();
        pid = fork();
        if (pid == 0) {
            BecomeChild(executable.c_str(), argv.data(), childEnvironment, inputPipe[0], outputPipe[1],
                        errorIntoOutput, errorPipe[1], parent);
        }
        if (pid > 0) interrupt::AddChild(pid);
    }
    close(outputPipe[1]);
    close(inputPipe[0]);
    close(errorPipe[1]);
    int reason = 0;
    ssize_t reported = -1;
    if (pid > 0) {
        do {
            reported = read(errorPipe[0], &reason, sizeof(reason));
        } while (reported < 0 && errno == EINTR);
    }
    close(errorPipe[0]);
    if (pid < 0 || reported != 0) {
        if (pid > 0) {
            const auto held = interrupt::LockRegistry();
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            interrupt::RemoveChild(pid);
        }
        close(outputPipe[0]);
        close(inputPipe[1]);
        return false;
    }
    child.id = pid;
    child.outputPipe = outputPipe[0];
    child.inputPipe = inputPipe[1];
    return true;
}

size_t ReadChildOutput(ChildProcess& child, char* buffer, size_t size) {
    if (child.outputPipe < 0) return 0;
    while (true) {
        const ssize_t count = read(static_cast<int>(child.outputPipe), buffer, size);
        if (count > 0) return static_cast<size_t>(count);
        if (count < 0 && errno == EINTR) continue;
        return 0;
    }
}

bool WriteChildInput(ChildProcess& child, const char* data, size_t size) {
    if (child.inputPipe < 0) return false;
    // A child that has ended makes the write fail with EPIPE, and raises SIGPIPE at this thread:
    // blocked for the write, and taken back if the write raised it.
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigemptyset(&pending);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    bool written = true;
    int reason = 0;
    while (size > 0) {
        const ssize_t count = write(static_cast<int>(child.inputPipe), data, size);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            reason = errno;
            written = false;
            break;
        }
        data += count;
        size -= static_cast<size_t>(count);
    }
    if (!written && reason == EPIPE && !alreadyPending) {
        const timespec now{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return written;
}

size_t ReadStandardInput(char* buffer, size_t size) {
    while (true) {
        const ssize_t count = read(STDIN_FILENO, buffer, size);
        if (count > 0) return static_cast<size_t>(count);
        if (count < 0 && errno == EINTR) continue;
        return 0;
    }
}

bool WaitForChildOutput(ChildProcess& child, int timeoutMs) {
    if (child.outputPipe < 0) return true;
    pollfd watched{static_cast<int>(child.outputPipe), POLLIN, 0};
    while (true) {
        const int ready = poll(&watched, 1, timeoutMs);
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return true;  // the read that follows reports the error
    }
}

// Reaps the child if it has ended; true then. Reaped and forgotten under the registry's lock,
// so the interrupt cleanup never signals an id that is free for reuse.
static bool ReapChild(ChildProcess& child) {
    const pid_t id = static_cast<pid_t>(child.id);
    const auto held = interrupt::LockRegistry();
    int status = 0;
    pid_t result;
    do {
        result = waitpid(id, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return false;
    interrupt::RemoveChild(id);
    child.id = -1;
    if (result == id) {
        child.signalled = WIFSIGNALED(status);
        child.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (child.signalled) child.crash = "signal " + std::to_string(WTERMSIG(status));
    }
    return true;
}

// Blocks until the child ends or timeoutMs passes, waking the moment it ends: a process
// descriptor becomes readable on exit. False when the kernel offers none.
static bool WaitForChildEnd(const ChildProcess& child, int timeoutMs) {
    const int processFd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(child.id), 0));
    if (processFd < 0) return false;
    pollfd watched{processFd, POLLIN, 0};
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    int remainingMs = timeoutMs;
    while (poll(&watched, 1, remainingMs) < 0 && errno == EINTR) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsedMs = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        remainingMs = elapsedMs >= timeoutMs ? 0 : timeoutMs - static_cast<int>(elapsedMs);
    }
    close(processFd);
    return true;
}

bool WaitChildProcess(ChildProcess& child, int timeoutMs) {
    if (child.id <= 0) return true;
    if (ReapChild(child)) return true;
    if (WaitForChildEnd(child, timeoutMs)) return ReapChild(child);
    // Without process descriptors: look again every few milliseconds.
    const int stepMs = 5;
    for (int waited = 0; waited < timeoutMs; waited += stepMs) {
        SleepMilliseconds(stepMs);
        if (ReapChild(child)) return true;
    }
    return false;
}

void KillChildProcess(ChildProcess& child) {
    if (child.id <= 0) return;
    const pid_t id = static_cast<pid_t>(child.id);
    const auto held = interrupt::LockRegistry();
    kill(id, SIGKILL);
    while (waitpid(id, nullptr, 0) < 0 && errno == EINTR) {
    }
    interrupt::RemoveChild(id);
    child.id = -1;
    child.exitCode = -1;  // ended by us: its work may be incomplete
}

void CloseChildProcess(ChildProcess& child) {
    CloseDescriptor(child.outputPipe);
    CloseDescriptor(child.inputPipe);
}

// Reads what fits of a small file into buffer (zero-terminated) with plain calls: a process
// may vanish between the open and the read, which must only make this return false.
static bool ReadSmallFile(const char* path, char* buffer, size_t capacity) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t length = 0;
    while (length + 1 < capacity) {
        const ssize_t count = read(fd, buffer + length, capacity - 1 - length);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        length += static_cast<size_t>(count);
    }
    close(fd);
    buffer[length] = '\0';
    return length > 0;
}

// One line of /proc/PID/stat: "PID (NAME) STATE PPID ...". The name may hold blanks and
// parentheses, so it ends at the last ')'. False for a line that does not parse and for an
// ended process that has not been reaped.
static bool ParseProcessStat(const char* stat, ProcessInfo& info) {
    const char* open = std::strchr(stat, '(');
    const char* close = std::strrchr(stat, ')');
    if (open == nullptr || close == nullptr || close < open) return false;
    info.name.assign(open + 1, close);
    const char* cursor = close + 1;
    while (*cursor == ' ') ++cursor;
    const char state = *cursor;
    if (state == '\0' || state == 'Z' || state == 'X' || state == 'x') return false;
    ++cursor;
    char* end = nullptr;
    const long long parent = std::strtoll(cursor, &end, 10);
    if (end == cursor) return false;
    info.parentId = parent;
    return true;
}

std::vector<ProcessInfo> ListProcesses(const std::string& onlyName) {
    std::vector<ProcessInfo> processes;
    DIR* dir = opendir("/proc");
    if (dir == nullptr) return processes;
    char path[64];
    char stat[1024];
    while (dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long id = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || id <= 0) continue;
        std::snprintf(path, sizeof(path), "/proc/%ld/stat", id);
        ProcessInfo info;
        info.id = id;
        // A process that has gone since the listing is simply left out.
        if (!ReadSmallFile(path, stat, sizeof(stat)) || !ParseProcessStat(stat, info)) continue;
        if (!onlyName.empty() && info.name != onlyName) continue;
        processes.push_back(std::move(info));
    }
    closedir(dir);
    return processes;
}

bool TerminateProcessById(int64_t id) {
    if (id <= 0) return false;
    return kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

int64_t CurrentProcessId() { return getpid(); }

void SleepMilliseconds(int milliseconds) {
    timespec delay{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
