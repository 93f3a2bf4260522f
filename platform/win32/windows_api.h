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

// Paths and texts cross to the system's wide calls here, and only here. The program's own texts
// are in the ANSI code page, which the manifest makes UTF-8.
std::wstring Wide(const std::string& text);
// The ANSI code page's form of a wide text; characters it lacks become '?'.
std::string Narrow(const std::wstring& text);
// UTF-8 of a wide text, whatever the code page.
std::string Utf8(const std::wstring& text);
// A path for the wide file calls. One too long for the system's plain form is made absolute and
// given the extended-length prefix (\\?\ or \\?\UNC\), with / turned into \, so that it is
// taken without the system's long-path setting; a shorter one passes as it is.
std::wstring WidePath(const std::string& path);

}  // namespace platform::win32
