#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/platform.h"

extern char** environ;

namespace platform {

static void CloseDescriptor(int& fd) {
    if (fd >= 0) close(fd);
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

bool StartChildProcess(const std::vector<std::string>& arguments, ChildProcess& child,
                       const std::vector<std::string>& extraEnvironment) {
    child = ChildProcess{};
    if (arguments.empty() || arguments[0].empty()) return false;
    // A bare program name is found beside this program, never on the search path.
    const std::string executable =
        arguments[0].find('/') == std::string::npos ? ProgramFolder() + arguments[0] : arguments[0];

    int outputPipe[2];
    int inputPipe[2];
    if (pipe2(outputPipe, O_CLOEXEC) != 0) return false;
    if (pipe2(inputPipe, O_CLOEXEC) != 0) {
        close(outputPipe[0]);
        close(outputPipe[1]);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDOUT_FILENO);

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

    pid_t pid = -1;
    const int result = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(),
                                   envp.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outputPipe[1]);
    close(inputPipe[0]);
    if (result != 0) {
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
        const ssize_t count = read(child.outputPipe, buffer, size);
        if (count > 0) return static_cast<size_t>(count);
        if (count < 0 && errno == EINTR) continue;
        return 0;
    }
}

bool WaitForChildOutput(ChildProcess& child, int timeoutMs) {
    if (child.outputPipe < 0) return true;
    pollfd watched{child.outputPipe, POLLIN, 0};
    while (true) {
        const int ready = poll(&watched, 1, timeoutMs);
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return true;  // the read that follows reports the error
    }
}

// Reaps the child if it has ended; true then.
static bool ReapChild(ChildProcess& child) {
    int status = 0;
    pid_t result;
    do {
        result = waitpid(static_cast<pid_t>(child.id), &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == static_cast<pid_t>(child.id)) {
        child.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        child.id = -1;
        return true;
    }
    if (result < 0) {
        child.id = -1;
        return true;
    }
    return false;
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
    kill(static_cast<pid_t>(child.id), SIGKILL);
    int status = 0;
    while (waitpid(static_cast<pid_t>(child.id), &status, 0) < 0 && errno == EINTR) {
    }
    child.id = -1;
    child.exitCode = -1;  // ended by us: its work may be incomplete
}

void CloseChildProcess(ChildProcess& child) {
    CloseDescriptor(child.outputPipe);
    CloseDescriptor(child.inputPipe);
}

std::vector<ProcessInfo> ListProcesses(const std::string& onlyName) {
    std::vector<ProcessInfo> processes;
    DIR* dir = opendir("/proc");
    if (dir == nullptr) return processes;
    while (dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long id = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || id <= 0) continue;
        const std::string base = std::string("/proc/") + entry->d_name;
        std::ifstream comm(base + "/comm");
        ProcessInfo info;
        info.id = id;
        if (!std::getline(comm, info.name)) continue;  // the process has gone
        // The watchdog scans often: read the status only of processes it asks about.
        if (!onlyName.empty() && info.name != onlyName) continue;
        // The parent id is the fourth field of stat, after the parenthesised name.
        std::ifstream statFile(base + "/stat");
        std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
        const size_t close = stat.rfind(')');
        if (close != std::string::npos) {
            char state = 0;
            long parent = 0;
            if (std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &parent) == 2) info.parentId = parent;
            // A process that has ended but not been reaped yet is gone already.
            if (state == 'Z' || state == 'X') continue;
        }
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
