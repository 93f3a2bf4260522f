#pragma once
// The locks the library asks for before its contexts may be used from several threads.

#include <mupdf/fitz.h>

#include <array>
#include <atomic>

namespace engine {

// The library holds its locks for a few instructions at a time (a cache look-up, a reference
// count), but takes them for every glyph and object. A thread that finds one taken therefore
// spins briefly before it sleeps: sleeping and waking at once cost more than the wait.
class BriefLock {
  public:
    void lock();
    void unlock();

  private:
    std::atomic<int> state_{0};  // 0 free, 1 taken, 2 taken and maybe someone asleep on it
};

// Must outlive every context created with Callbacks().
class LibraryLocks {
  public:
    LibraryLocks();
    LibraryLocks(const LibraryLocks&) = delete;
    LibraryLocks& operator=(const LibraryLocks&) = delete;

    const fz_locks_context* Callbacks() const { return &callbacks_; }

  private:
    static void Lock(void* user, int lock);
    static void Unlock(void* user, int lock);

    std::array<BriefLock, FZ_LOCK_MAX> locks_;
    fz_locks_context callbacks_;
};

}  // namespace engine
