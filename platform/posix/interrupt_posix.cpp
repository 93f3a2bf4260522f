// Interrupts (SIGINT, SIGTERM, SIGHUP) are taken by sigwait on a thread of their own instead of
// a handler: the cleanup then runs as ordinary code, free to take locks and list folders.
#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <thread>

#include "platform/interrupt_registry.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

void EndChild(int64_t id) {
    const pid_t child = static_cast<pid_t>(id);
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

[[noreturn]] void CleanUpAndExit(int signalNumber) {
    interrupt::CleanUpRegistered(EndChild);
    _exit(128 + signalNumber);
}

}  // namespace

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

}  // namespace platform
