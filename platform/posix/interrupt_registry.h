#pragma once
// Between the interrupt cleanup and the child-process calls: the children an interrupt ends.

#include <sys/types.h>

#include <mutex>

namespace platform::interrupt {

// The registry's lock. A child's start holds it across fork and registration and a reaping
// across waitpid and forgetting, so the cleanup neither misses a child nor signals an id that
// was reaped (and may belong to someone else by now). Once an interrupt's cleanup has begun,
// the lock is never given back: whoever asks for it then waits until the process exits.
std::unique_lock<std::mutex> LockRegistry();
// Both with the lock held.
void AddChild(pid_t id);
void RemoveChild(pid_t id);

}  // namespace platform::interrupt
