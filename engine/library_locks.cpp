#include "engine/library_locks.h"

namespace engine {
namespace {

constexpr int kSpins = 200;

}  // namespace

void BriefLock::lock() {
    for (int spin = 0; spin < kSpins; ++spin) {
        int expected = 0;
        if (state_.load(std::memory_order_relaxed) == 0 &&
            state_.compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
            return;
        }
    }
    // Marked as having sleepers, so that the holder wakes one when it lets go.
    while (state_.exchange(2, std::memory_order_acquire) != 0) state_.wait(2);
}

void BriefLock::unlock() {
    if (state_.exchange(0, std::memory_order_release) == 2) state_.notify_one();
}

LibraryLocks::LibraryLocks() : callbacks_{this, &LibraryLocks::Lock, &LibraryLocks::Unlock} {}

void LibraryLocks::Lock(void* user, int lock) {
    static_cast<LibraryLocks*>(user)->locks_[static_cast<size_t>(lock)].lock();
}

void LibraryLocks::Unlock(void* user, int lock) {
    static_cast<LibraryLocks*>(user)->locks_[static_cast<size_t>(lock)].unlock();
}

}  // namespace engine
