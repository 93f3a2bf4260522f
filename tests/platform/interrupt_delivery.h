#pragma once
// Interrupting a child of a test as its user would: with a signal on POSIX; on Windows with a
// Ctrl+C console event, which Wine raises in a program whose process takes SIGINT. The Windows
// process is found on the Linux side by a marker word on its command line, one no other
// process has.

#include <string>

#include "platform/platform.h"
#include "support/test_support.h"

// A word to add to the child's arguments (the fake engine and the cleanup helper ignore it),
// unique to the folder of the test.
inline std::string InterruptMarker(const TempDir& dir) { return "mark-" + dir.path().filename().string(); }

// Sends SIGNAL ("INT", "TERM", "HUP") to the process of that id; on Windows only "INT" exists,
// as Ctrl+C, sent to the process whose command line holds the marker. False when not exactly
// one process took it.
inline bool Interrupt(int64_t id, const std::string& marker, const std::string& signal) {
#ifdef _WIN32
    (void)id;
    if (signal != "INT") return false;
    const ShellResult sent = RunShell(
        "n=0; for p in /proc/[0-9]*; do c=$(tr '\\0' ' ' < \"$p/cmdline\" 2>/dev/null) || continue; "
        "case \"$c\" in *" + ShellQuote(marker) + "*) kill -s INT \"${p#/proc/}\" && n=$((n+1));; esac; "
        "done; echo $n");
    return sent.exitCode == 0 && sent.out == "1\n";
#else
    (void)marker;
    return RunShell("kill -s " + signal + " " + std::to_string(id)).exitCode == 0;
#endif
}
