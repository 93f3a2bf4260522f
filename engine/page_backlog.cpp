#include "engine/page_backlog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/runtime/engine_errors.h"

namespace engine {
namespace {

// The variable's value as a positive number; 0 when absent, malformed or out of range.
long PositiveNumberFromEnvironment(const char* name, long largest) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0 || value > largest) return 0;
    return value;
}

bool StillThere(const std::string& path) {
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    // A file that cannot be looked at is taken to be there: the patience limit still applies.
    return exists || error;
}

}  // namespace

PageBacklog::PageBacklog(int limit, std::chrono::milliseconds patience)
    : limit_(std::max(limit, 0)), patience_(patience) {}

PageBacklog PageBacklog::FromEnvironment() {
    const long limit = PositiveNumberFromEnvironment(kPageBacklogVariable, 1000000);
    const long patienceMs =
        PositiveNumberFromEnvironment(kPageBacklogPatienceVariable, 24L * 3600 * 1000);
    return PageBacklog(static_cast<int>(limit),
                       patienceMs > 0 ? std::chrono::milliseconds(patienceMs) : kDefaultPatience);
}

void PageBacklog::PageWritten(const std::string& path) {
    if (limit_ > 0) waiting_.push_back(path);
}

bool PageBacklog::ForgetTakenFiles() {
    const size_t before = waiting_.size();
    std::erase_if(waiting_, [](const std::string& path) { return !StillThere(path); });
    return waiting_.size() != before;
}

bool PageBacklog::RoomForPage(int unfinished) {
    if (limit_ <= 0) return true;
    auto underLimit = [&] {
        return waiting_.size() + static_cast<size_t>(std::max(unfinished, 0)) <
               static_cast<size_t>(limit_);
    };
    // Below the limit nothing needs looking at: the list only shrinks when files go.
    if (underLimit()) {
        holding_ = false;
        return true;
    }
    const Clock::time_point now = Clock::now();
    const bool taken = ForgetTakenFiles();
    if (underLimit()) {
        holding_ = false;
        return true;
    }
    if (!holding_) nextKeepAlive_ = now + kKeepAliveInterval;
    if (!holding_ || taken) {
        // Patience counts from the last sign that the files are being taken.
        holding_ = true;
        heldSince_ = now;
        gaveUp_ = false;
    }
    if (now - heldSince_ < patience_) return false;
    if (!gaveUp_) {
        ReportError(
            "no page file was taken for " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(patience_).count()) +
            " s; going on without waiting");
        gaveUp_ = true;
    }
    return true;
}

bool PageBacklog::KeepAlive() {
    if (!holding_) return true;
    const Clock::time_point now = Clock::now();
    if (now < nextKeepAlive_) return true;
    nextKeepAlive_ = now + kKeepAliveInterval;
    const std::string line =
        "waiting until page files are taken (" + std::to_string(waiting_.size()) + " in place)\n";
    return std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
}

}  // namespace engine
