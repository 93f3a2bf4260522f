// Interrupts (SIGINT, SIGTERM, SIGHUP) are taken by sigwait on a thread of their own instead of
// a handler: the cleanup then runs as ordinary code, free to take locks and list folders.
#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/interrupt_registry.h"

namespace platform {

namespace {

constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

struct Registry {
    std::mutex lock;
    std::vector<pid_t> children;
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

// Never destroyed: the cleanup thread may still use it while the process is exiting.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

template <typename T>
void EraseOne(std::vector<T>& items, const T& item) {
    const auto found = std::find(items.begin(), items.end(), item);
    if (found != items.end()) items.erase(found);
}

void RemoveTree(const std::string& path) {
    if (unlink(path.c_str()) == 0 || (errno != EISDIR && errno != EPERM)) return;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            RemoveTree(path + "/" + entry->d_name);
        }
        closedir(dir);
    }
    rmdir(path.c_str());
}

// The file and its partial siblings ("<name>.<anything>", as a child writing to it makes them).
void RemoveTemporaryFile(const std::string& path) {
    unlink(path.c_str());
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    const std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
    if (prefix.size() < 2) return;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> partial;
    while (dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) partial.push_back(entry->d_name);
    }
    closedir(dir);
    for (const std::string& name : partial) unlink((folder + name).c_str());
}

[[noreturn]] void CleanUpAndExit(int signalNumber) {
    Registry& registry = TheRegistry();
    // Taken for good: nothing can be registered, so nothing new is created, from here on.
    registry.lock.lock();
    // The children go first, so that none of them writes a file after its folder was emptied.
    for (const pid_t child : registry.children) {
        kill(child, SIGKILL);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (const std::string& file : registry.files) RemoveTemporaryFile(file);
    for (const std::string& folder : registry.folders) {
        std::string path = folder;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        RemoveTree(path);
    }
    _exit(128 + signalNumber);
}

}  // namespace

namespace interrupt {

std::unique_lock<std::mutex> LockRegistry() { return std::unique_lock<std::mutex>(TheRegistry().lock); }
void AddChild(pid_t id) { TheRegistry().children.push_back(id); }
void RemoveChild(pid_t id) { EraseOne(TheRegistry().children, id); }

}  // namespace interrupt

void InstallInterruptCleanup() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        sigset_t signals;
        sigemptyset(&signals);
        for (const int signalNumber : kInterruptSignals) {
            // A signal ignored from the start (a background job, nohup) stays ignored.
            struct sigaction current {};
            if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
            sigaddset(&signals, signalNumber);
        }
        // Blocked here, before any other thread exists, so every thread inherits the block and
        // the signals wait for sigwait alone.
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        if (sigisemptyset(&signals)) return;
        std::thread([signals] {
            while (true) {
                int signalNumber = 0;
                if (sigwait(&signals, &signalNumber) == 0) CleanUpAndExit(signalNumber);
            }
        }).detach();
    });
}

void RegisterTemporaryFile(const std::string& path) {
    const auto held = interrupt::LockRegistry();
    TheRegistry().files.push_back(path);
}

void ForgetTemporaryFile(const std::string& path) {
    const auto held = interrupt::LockRegistry();
    EraseOne(TheRegistry().files, path);
}

void RegisterTemporaryFolder(const std::string& folder) {
    const auto held = interrupt::LockRegistry();
    TheRegistry().folders.push_back(folder);
}

void ForgetTemporaryFolder(const std::string& folder) {
    const auto held = interrupt::LockRegistry();
    EraseOne(TheRegistry().folders, folder);
}

}  // namespace platform
