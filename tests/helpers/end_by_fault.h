#pragma once
// How the test engines crash: by the system's own end for a memory fault, not a handler's (the
// sanitizers install theirs, and would also stop at a null store before the fault).

#include <csignal>

inline void EndByFault() {
    std::signal(SIGSEGV, SIG_DFL);
#ifdef _WIN32
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;  // an access violation
#else
    std::raise(SIGSEGV);
#endif
}
