#include "engine/runtime/library_locks.h"

namespace engine {
namespace {

constexpr int kSpins = 200;

}  // namespace

void BriefLock::lock() {
    // A few tries before sleeping in the mutex: the holder usually lets go within them.
    for (int spin = 0; spin < kSpins; ++spin) {
        if (mutex_.try_lock()) return;
    }
    mutex_.lock();
}

void BriefLock::unlock() { mutex_.unlock(); }

LibraryLocks::LibraryLocks() : callbacks_{this, &LibraryLocks::Lock, &LibraryLocks::Unlock} {}

void LibraryLocks::Lock(void* user, int lock) {
    static_cast<LibraryLocks*>(user)->locks_[static_cast<size_t>(lock)].lock();
}

void LibraryLocks::Unlock(void* user, int lock) {
    static_cast<LibraryLocks*>(user)->locks_[static_cast<size_t>(lock)].unlock();
}

}  // namespace engine
