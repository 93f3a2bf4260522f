#include "driver/page_feed.h"

#include "platform/platform.h"
#include "protocol/engine_protocol.h"

void PageFeed::Announce(int page) {
    {
        std::lock_guard lock(mutex_);
        announced_.insert(page);
    }
    changed_.notify_all();
}

void PageFeed::EngineEnded() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

bool PageFeed::WaitForPage(int number, const std::string& path) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return ended_ || announced_.count(number) > 0; });
        if (announced_.count(number) > 0) return true;
    }
    return platform::FileReadable(path);
}

void PageFeed::Taken(int number) { input_.Say(protocol::PageTakenLine(number)); }
