// Console control events arrive on a thread the system starts for them, so the cleanup runs as
// ordinary code there, free to take locks and list folders, as on the other platform.
#include <mutex>

#include "platform/interrupt_registry.h"
#include "platform/platform.h"
#include "platform/win32/child_registry_win32.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

BOOL WINAPI OnControlEvent(DWORD event) {
    // The exit status tells the event as the other platform's signals would: 128 + 2 (SIGINT)
    // for Ctrl+C and Ctrl+Break, 128 + 15 (SIGTERM) for the console closing, the user logging
    // off and the system shutting down.
    int signalNumber;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            signalNumber = 2;
            break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            signalNumber = 15;
            break;
        default:
            return FALSE;
    }
    interrupt::CleanUpRegistered(win32::EndRegisteredChild);
    ExitProcess(128 + signalNumber);
}

}  // namespace

void InstallInterruptCleanup() {
    static std::once_flag installed;
    // A process started with Ctrl+C ignored (as a new process group's first process is) gets no
    // Ctrl+C event at all, so it stays ignored.
    std::call_once(installed, [] { SetConsoleCtrlHandler(OnControlEvent, TRUE); });
}

}  // namespace platform
