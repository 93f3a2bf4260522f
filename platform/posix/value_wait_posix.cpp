#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>

#include "platform/platform.h"

namespace platform {

namespace {

// The kernel waits on the integer itself; an always-lock-free atomic int is laid out as one.
static_assert(std::atomic<int>::is_always_lock_free && sizeof(std::atomic<int>) == sizeof(int));

int* Address(const std::atomic<int>& value) {
    return const_cast<int*>(reinterpret_cast<const int*>(&value));
}

}  // namespace

void WaitWhileValue(const std::atomic<int>& value, int expected, int timeoutMs) {
    if (value.load() != expected) return;
    timespec timeout{};
    timeout.tv_sec = timeoutMs / 1000;
    timeout.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
    syscall(SYS_futex, Address(value), FUTEX_WAIT_PRIVATE, expected, &timeout, nullptr, 0);
}

void WakeValueWaiters(std::atomic<int>& value) {
    syscall(SYS_futex, Address(value), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace platform
