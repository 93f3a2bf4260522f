#pragma once
// The Windows headers, included one way everywhere in this folder: without the rarely used
// parts and without the min/max macros that would break std::min and std::max.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace platform::win32 {

// The system's text for a Win32 error code, without the line break it ends with.
std::string ErrorText(DWORD error);
// The C library's errno value closest to a Win32 error code.
int ErrnoFromError(DWORD error);

}  // namespace platform::win32
