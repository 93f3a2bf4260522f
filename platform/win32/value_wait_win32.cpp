#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace platform {

// The system waits on the integer itself; an always-lock-free atomic int is laid out as one.
static_assert(std::atomic<int>::is_always_lock_free && sizeof(std::atomic<int>) == sizeof(int));

void WaitWhileValue(const std::atomic<int>& value, int expected, int timeoutMs) {
    if (value.load() != expected) return;
    auto* address = const_cast<std::atomic<int>*>(&value);
    WaitOnAddress(address, &expected, sizeof(int), timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs));
}

void WakeValueWaiters(std::atomic<int>& value) { WakeByAddressAll(&value); }

}  // namespace platform
