#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace platform {

void* LoadLibraryFile(const std::string& path) {
    // A library that cannot be loaded is reported by the result, never by a system dialog.
    DWORD previous = 0;
    const bool quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous) != 0;
    HMODULE module = LoadLibraryW(win32::WidePath(path).c_str());
    if (quiet) SetThreadErrorMode(previous, nullptr);
    return reinterpret_cast<void*>(module);
}

void* LibraryOrdinal(void* library, int ordinal) {
    if (library == nullptr || ordinal <= 0 || ordinal > 0xFFFF) return nullptr;
    const FARPROC entry = GetProcAddress(static_cast<HMODULE>(library),
                                         MAKEINTRESOURCEA(static_cast<WORD>(ordinal)));
    return reinterpret_cast<void*>(entry);
}

void FreeLibraryFile(void* library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace platform
