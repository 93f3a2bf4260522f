#include "engine/raster/page_backlog.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "engine/runtime/engine_errors.h"
#include "platform/platform.h"
#include "protocol/engine_protocol.h"

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

}  // namespace

// What the reading thread and the drawing side share.
struct PageBacklog::Shared {
    std::mutex mutex;
    std::condition_variable taken;
    std::set<int> waiting;      // pages announced and not yet taken
    std::set<int> takenEarly;   // pages taken before the drawing side counted them as announced
    unsigned long long takes = 0;

    std::mutex wakeMutex;  // held while wake runs, so that it can be stopped safely
    std::function<void()> wake;

    void Take(int page) {
        {
            std::lock_guard lock(mutex);
            if (waiting.erase(page) == 0) takenEarly.insert(page);
            ++takes;
        }
        taken.notify_all();
        std::lock_guard lock(wakeMutex);
        if (wake) wake();
    }

    void Read(const LineSource& source) {
        protocol::PageLineReader lines(protocol::kPageTakenWord);
        char buffer[256];
        for (size_t count; (count = source(buffer, sizeof buffer)) > 0;)
            lines.Read(buffer, count, [&](int page) { Take(page); });
    }
};

PageBacklog::PageBacklog(int limit, std::chrono::milliseconds patience, LineSource source)
    : limit_(std::max(limit, 0)), patience_(patience), shared_(std::make_shared<Shared>()) {
    if (limit_ <= 0 || !source) return;
    // The thread may be blocked in a read when the engine ends: it is left to end with the
    // process, and owns what it touches.
    try {
        std::thread([shared = shared_, source = std::move(source)] { shared->Read(source); }).detach();
    } catch (...) {
        // No thread: nothing is ever taken, and the patience decides.
    }
}

PageBacklog::~PageBacklog() { OnTaken(nullptr); }

std::unique_ptr<PageBacklog> PageBacklog::FromEnvironment() {
    const long limit = PositiveNumberFromEnvironment(protocol::kPageBacklogVariable, 1000000);
    const long patienceMs = PositiveNumberFromEnvironment(protocol::kPageBacklogPatienceVariable, 24L * 3600 * 1000);
    return std::make_unique<PageBacklog>(static_cast<int>(limit),
                                         patienceMs > 0 ? std::chrono::milliseconds(patienceMs) : kDefaultPatience,
                                         platform::ReadStandardInput);
}

void PageBacklog::PageWritten(int page) {
    if (limit_ <= 0) return;
    std::lock_guard lock(shared_->mutex);
    if (shared_->takenEarly.erase(page) == 0) shared_->waiting.insert(page);
}

bool PageBacklog::RoomForPage(int unfinished) {
    if (limit_ <= 0) return true;
    bool taken = false;
    size_t waiting = 0;
    {
        std::lock_guard lock(shared_->mutex);
        taken = shared_->takes != takesSeen_;
        takesSeen_ = shared_->takes;
        waiting = shared_->waiting.size();
    }
    if (waiting + static_cast<size_t>(std::max(unfinished, 0)) < static_cast<size_t>(limit_)) {
        holding_ = false;
        return true;
    }
    const Clock::time_point now = Clock::now();
    if (!holding_) nextKeepAlive_ = now + kKeepAliveInterval;
    if (!holding_ || taken) {
        // Patience counts from the last sign that the pages are being taken.
        holding_ = true;
        heldSince_ = now;
        gaveUp_ = false;
    }
    if (now - heldSince_ < patience_) return false;
    if (!gaveUp_) {
        ReportError("no page file was taken for " +
                    std::to_string(std::chrono::duration_cast<std::chrono::seconds>(patience_).count()) +
                    " s; going on without waiting");
        gaveUp_ = true;
    }
    return true;
}

PageBacklog::Clock::time_point PageBacklog::NextLook() const {
    return std::min(nextKeepAlive_, heldSince_ + patience_);
}

void PageBacklog::WaitForTaken() {
    std::unique_lock lock(shared_->mutex);
    shared_->taken.wait_until(lock, NextLook(), [&] { return shared_->takes != takesSeen_; });
}

void PageBacklog::OnTaken(std::function<void()> wake) {
    std::lock_guard lock(shared_->wakeMutex);
    shared_->wake = std::move(wake);
}

bool PageBacklog::KeepAlive() {
    if (!holding_) return true;
    const Clock::time_point now = Clock::now();
    if (now < nextKeepAlive_) return true;
    nextKeepAlive_ = now + kKeepAliveInterval;
    size_t waiting = 0;
    {
        std::lock_guard lock(shared_->mutex);
        waiting = shared_->waiting.size();
    }
    const std::string line = "waiting until page files are taken (" + std::to_string(waiting) + " in place)\n";
    return std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
}

}  // namespace engine
