// Texts between the program's code page and the system's wide calls.
#include "platform/win32/windows_api.h"

namespace platform::win32 {

namespace {

std::wstring ToWide(UINT codePage, const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string FromWide(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

// The longest plain path a folder can be created at (room is kept for an 8.3 name); every file
// call takes a path this short without the prefix.
constexpr size_t kLongestPlainPath = MAX_PATH - 12;

}  // namespace

std::wstring Wide(const std::string& text) { return ToWide(CP_ACP, text); }

std::string Narrow(const std::wstring& text) { return FromWide(CP_ACP, text); }

std::string Utf8(const std::wstring& text) { return FromWide(CP_UTF8, text); }

std::wstring WidePath(const std::string& path) {
    std::wstring wide = Wide(path);
    if (wide.size() < kLongestPlainPath || wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\"))
        return wide;
    // The prefix turns off the system's own clean-up of the path: it is done here first.
    std::wstring full(wide.size() + MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);  // the length asked for, with its closing null
        length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) return wide;
    full.resize(length);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    if (full.starts_with(L"\\\\") && !full.starts_with(L"\\\\?\\") && !full.starts_with(L"\\\\.\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return full;
}

}  // namespace platform::win32
