#pragma once
// Between the interrupt cleanup and the child-process calls of each platform: the children,
// temporary files and temporary folders an interrupt ends or removes.

#include <cstdint>
#include <mutex>

namespace platform::interrupt {

// The registry's lock. A child's start holds it across the creation and the registration and a
// reaping across the wait and the forgetting, so the cleanup neither misses a child nor ends an
// id that was reaped (and may belong to someone else by now). Once an interrupt's cleanup has
// begun, the lock is never given back: whoever asks for it then waits until the process exits.
std::unique_lock<std::mutex> LockRegistry();
// Both with the lock held.
void AddChild(int64_t id);
void RemoveChild(int64_t id);

// The cleanup itself, on the thread that took the interrupt: takes the lock for good, ends
// every registered child through endChild (which waits until it is gone), then removes the
// registered files with their partial siblings and the registered folders with their files.
// The caller exits right after.
void CleanUpRegistered(void (*endChild)(int64_t id));

}  // namespace platform::interrupt
