#include "engine/runtime/output_files.h"

#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>

#include "platform/platform.h"
#include "protocol/engine_protocol.h"

namespace engine {
namespace {

// Replaces the number directives; sets found when there was at least one.
std::string ExpandTemplate(const std::string& pathTemplate, int page, bool& found) {
    std::string result;
    found = false;
    for (size_t i = 0; i < pathTemplate.size(); ++i) {
        char c = pathTemplate[i];
        if (c != '%') {
            result += c;
            continue;
        }
        if (i + 1 < pathTemplate.size() && pathTemplate[i + 1] == '%') {
            result += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool zeroPad = j < pathTemplate.size() && pathTemplate[j] == '0';
        if (zeroPad) ++j;
        int width = 0;
        while (j < pathTemplate.size() && pathTemplate[j] >= '0' && pathTemplate[j] <= '9' &&
               width < 100) {
            width = width * 10 + (pathTemplate[j] - '0');
            ++j;
        }
        if (j < pathTemplate.size() && pathTemplate[j] == 'd') {
            std::string digits = std::to_string(page);
            if (static_cast<int>(digits.size()) < width) {
                digits.insert(0, width - digits.size(), zeroPad ? '0' : ' ');
            }
            result += digits;
            found = true;
            i = j;
        } else {
            result += c;  // not a directive we know: kept as written
        }
    }
    return result;
}

bool Exists(const std::string& path) {
    std::ifstream probe(path, std::ios::binary);
    return probe.good();
}

}  // namespace

std::string PageFileName(const std::string& pathTemplate, int page, int pageCount) {
    bool found = false;
    std::string name = ExpandTemplate(pathTemplate, page, found);
    if (found || pageCount <= 1) return name;
    size_t slash = name.find_last_of("/\\");
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = name.size();
    return name.insert(dot, protocol::PageNumberText(page));
}

std::string TemporaryNameFor(const std::string& target) {
    // Pages are written from several threads.
    static std::mutex mutex;
    static std::mt19937_64 generator{std::random_device{}()};
    for (;;) {
        unsigned long long random = 0;
        {
            std::lock_guard lock(mutex);
            random = generator();
        }
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%016llx.part", random);
        std::string candidate = target + suffix;
        if (!Exists(candidate)) return candidate;
    }
}

bool CommitFile(const std::string& temporary, const std::string& target) {
    if (platform::MoveFileOver(temporary, target)) return true;
    platform::RemoveFile(temporary);
    return false;
}

void DiscardFile(const std::string& temporary) { platform::RemoveFile(temporary); }

}  // namespace engine
