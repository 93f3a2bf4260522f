// A parent that stays, for the watchdog's tests: whatever becomes of its child, it lives on, so
// that when it ends sooner someone else ended it.
//   image_driver_steady_parent_program sleep MS
//                              stays alive for MS ms
//   image_driver_steady_parent_program spawn PROGRAM MS PIDFILE
//                              starts PROGRAM sleep MS as its own child, the way the converter
//                              starts its engine (platform::StartChildProcess), writes the
//                              child's id to PIDFILE (complete, under a temporary name first)
//                              and then stays alive for MS ms
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    if (mode == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::strtol(argv[2], nullptr, 10)));
        return 0;
    }
    if (mode != "spawn" || argc < 5) return 2;
    const std::string milliseconds = argv[3];
    const std::string pidFile = argv[4];
    platform::ChildProcess child;
    if (!platform::StartChildProcess({argv[2], "sleep", milliseconds}, child)) return 1;
    const std::string temporary = pidFile + ".tmp";
    if (std::FILE* file = std::fopen(temporary.c_str(), "w")) {
        std::fprintf(file, "%lld\n", static_cast<long long>(child.id));
        std::fclose(file);
    }
    std::rename(temporary.c_str(), pidFile.c_str());
    // The child is not waited for: its end must not end this process too. It is reaped on the
    // way out, if it ended by then.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::strtol(milliseconds.c_str(), nullptr, 10)));
    platform::WaitChildProcess(child, 0);
    platform::CloseChildProcess(child);
    return 0;
}
