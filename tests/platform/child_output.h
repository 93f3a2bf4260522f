#pragma once
// Reading a started child's standard output to its end.

#include <string>

#include "platform/platform.h"

// Everything the child writes until it closes its output (or stays silent for 10 s).
inline std::string ReadWholeChildOutput(platform::ChildProcess& child) {
    std::string output;
    char buffer[256];
    while (platform::WaitForChildOutput(child, 10000)) {
        const size_t count = platform::ReadChildOutput(child, buffer, sizeof(buffer));
        if (count == 0) break;
        output.append(buffer, count);
    }
    return output;
}
