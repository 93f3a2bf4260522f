#include "driver/ordered_tiff_pages.h"

#include <utility>

OrderedTiffPages::OrderedTiffPages(ImgConvHandle document, int firstPage, int window)
    : document_(document), window_(window < 1 ? 1 : window), next_(firstPage) {}

void OrderedTiffPages::WaitForTurn(int page) {
    std::unique_lock<std::mutex> lock(mutex_);
    turn_.wait(lock, [&] { return page < next_ + window_; });
}

void OrderedTiffPages::HandIn(int page, Outcome outcome, std::vector<uint8_t> bytes, std::string why) {
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_.insert_or_assign(page, Waiting{outcome, std::move(bytes), std::move(why)});
    if (appending_) return;
    appending_ = true;
    for (auto found = waiting_.find(next_); found != waiting_.end(); found = waiting_.find(next_)) {
        const int placed = found->first;
        Waiting ready = std::move(found->second);
        waiting_.erase(found);
        ++next_;
        turn_.notify_all();
        // Writing goes on outside the lock, so that other threads can hand in their pages and
        // start on the next ones meanwhile; appending_ keeps it to one thread at a time.
        lock.unlock();
        const bool appended = ready.outcome == Outcome::kEncoded &&
                              ImgConvAppendTiffPage(document_, ready.bytes) == 1;
        if (!appended && ready.outcome == Outcome::kEncoded) ImgConvLastError(document_, ready.why);
        ready.bytes = {};
        lock.lock();
        if (appended) ++appended_;
        if (!appended && ready.outcome != Outcome::kNoSuchPage) {
            ++failures_;
            reasons_[placed] = ready.why;
        }
    }
    appending_ = false;
}
