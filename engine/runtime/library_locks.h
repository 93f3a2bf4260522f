#pragma once
// The locks the library asks for before its contexts may be used from several threads.

#include <mupdf/fitz.h>

#include <array>
#include <mutex>

namespace engine {

// The library holds its locks for a few instructions at a time (a cache look-up, a reference
// count), but takes them for every glyph and object. A thread that finds one taken therefore
// tries again briefly before it sleeps: sleeping and waking at once cost more than the wait.
// The sleep is the standard mutex's, which every platform's thread library implements well (a
// hand-made wait on an atomic lost wake-ups where the library has no futex).
class BriefLock {
  public:
    void lock();
    void unlock();

  private:
    std::mutex mutex_;
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
