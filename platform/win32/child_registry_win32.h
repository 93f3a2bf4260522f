#pragma once
// Between the child-process calls and the interrupt cleanup on Windows.

#include <cstdint>

namespace platform::win32 {

// Ends the registered child of that id and waits until it is gone; the registry's lock is held.
void EndRegisteredChild(int64_t id);

}  // namespace platform::win32
