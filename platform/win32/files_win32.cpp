#include "platform/win32/windows_api.h"

#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// Random letters and digits for new names; false when the random source fails.
bool RandomName(std::string& name, size_t length) {
    static constexpr char kCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[32];
    if (length > sizeof(bytes) || !RandomBytes(bytes, length)) return false;
    name.clear();
    for (size_t i = 0; i < length; ++i) name.push_back(kCharacters[bytes[i] % (sizeof(kCharacters) - 1)]);
    return true;
}

// A descriptor whose access list grants the current user alone full control, not inherited
// from the folder above. Null when the user cannot be told; LocalFree the result.
PSECURITY_DESCRIPTOR CurrentUserOnlyDescriptor() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    // 64-bit words, so that the TOKEN_USER structure laid into them is aligned.
    std::vector<uint64_t> buffer(size / sizeof(uint64_t) + 1);
    char* sid = nullptr;
    const bool known = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
                       ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid);
    CloseHandle(token);
    if (!known) return nullptr;
    const std::string sddl = std::string("D:P(A;OICI;FA;;;") + sid + ")";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return nullptr;
    return descriptor;
}

}  // namespace

// Room for a usual path at the first call; every caller below grows it when the system asks
// for more, so that a long path is whole.
constexpr size_t kFirstPathRoom = 512;

std::string ProgramFolder() {
    std::wstring path(kFirstPathRoom, L'\0');
    while (true) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::string();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() > kLongestSystemPath) return std::string();
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string() : win32::Narrow(path.substr(0, slash + 1));
}

std::string FullPath(const std::string& path) {
    const std::wstring wide = win32::Wide(path);
    if (wide.empty()) return std::string();
    std::wstring full(kFirstPathRoom, L'\0');
    while (true) {
        const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return std::string();
        if (length < full.size()) {
            full.resize(length);
            return win32::Narrow(full);
        }
        full.resize(length + 1);  // the length asked for, with its closing null
    }
}

bool FileReadable(const std::string& path) {
    const std::string full = FullPath(path);
    if (full.empty()) return false;
    const std::wstring wide = win32::WidePath(full);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    // Shared as the C runtime's fopen shares it (no FILE_SHARE_DELETE): a file that a rename
    // into place still holds open for deletion is not yet readable to the caller's reader, so
    // the probe must say so too rather than let the reader fail moments later.
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    // A device or pipe name ("CON", "NUL", a named pipe) opens too, but is no plain file.
    const bool plain = GetFileType(file) == FILE_TYPE_DISK;
    CloseHandle(file);
    return plain;
}

bool FolderEnterable(const std::string& path) {
    const std::string full = FullPath(path);
    if (full.empty()) return false;
    const DWORD attributes = GetFileAttributesW(win32::WidePath(full).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsAbsoluteFolderPath(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
           path[2] == '\\';
}

bool MakeFolder(const std::string& path) { return CreateDirectoryW(win32::WidePath(path).c_str(), nullptr) != 0; }

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string* reason) {
    std::string prefix = folder.empty() ? std::string(".") : folder;
    if (!EndsWithSeparator(prefix)) prefix += '\\';
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = win32::WidePath(prefix + "*");
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A folder with nothing in it, not even "." and ".." (a drive's root).
        if (error == ERROR_FILE_NOT_FOUND) return true;
        if (reason != nullptr) *reason = win32::ErrorText(error);
        return false;
    }
    do {
        FolderEntry item;
        item.name = win32::Narrow(found.cFileName);
        item.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        item.isRegularFile = !item.isFolder && (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
        item.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back(std::move(item));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(win32::WidePath(path).c_str()) != 0; }

bool RemoveFolder(const std::string& path) {
    std::string folder = path;
    // "C:\" keeps its separator: without it the name means the drive's current folder.
    while (folder.size() > 1 && EndsWithSeparator(folder) && !(folder.size() == 3 && folder[1] == ':'))
        folder.pop_back();
    return RemoveDirectoryW(win32::WidePath(folder).c_str()) != 0;
}

std::string MakePrivateTempFolder(const std::string& prefix) {
    std::wstring system(kFirstPathRoom, L'\0');
    DWORD length = GetTempPathW(static_cast<DWORD>(system.size()), system.data());
    if (length >= system.size() && length <= kLongestSystemPath) {
        system.resize(length + 1);  // the length asked for, with its closing null
        length = GetTempPathW(static_cast<DWORD>(system.size()), system.data());
    }
    if (length == 0 || length >= system.size()) return std::string();
    system.resize(length);
    std::string root = win32::Narrow(system);
    if (!EndsWithSeparator(root)) root += '\\';
    root += "mtmp\\";
    // Each wide path is held until the last error is read, so that freeing it cannot touch that.
    const std::wstring wideRoot = win32::WidePath(root);
    if (!CreateDirectoryW(wideRoot.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return std::string();

    // The user's temporary folder is private already; the explicit access list keeps the page
    // folder so when the temporary path was set to a shared folder.
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof(security);
    security.lpSecurityDescriptor = CurrentUserOnlyDescriptor();
    SECURITY_ATTRIBUTES* attributes = security.lpSecurityDescriptor != nullptr ? &security : nullptr;
    std::string made;
    for (int attempt = 0; attempt < 100 && made.empty(); ++attempt) {
        std::string suffix;
        if (!RandomName(suffix, 8)) break;
        const std::string folder = root + prefix + "-" + suffix;
        // Creation fails on a name that exists, so a folder is never shared with another run.
        const std::wstring wideFolder = win32::WidePath(folder);
        if (CreateDirectoryW(wideFolder.c_str(), attributes)) {
            made = folder + "\\";
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    if (security.lpSecurityDescriptor != nullptr) LocalFree(security.lpSecurityDescriptor);
    return made;
}

std::string FolderUnusableReason(const std::string& folder) {
    const std::wstring wideFolder = win32::WidePath(folder);
    const DWORD attributes = GetFileAttributesW(wideFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return win32::ErrorText(GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return win32::ErrorText(ERROR_DIRECTORY);
    // The access lists decide, and only a try tells: a probe file that goes when it is closed.
    std::string prefix = folder;
    if (!EndsWithSeparator(prefix)) prefix += '\\';
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        if (!RandomName(suffix, 8)) return win32::ErrorText(ERROR_GEN_FAILURE);
        const std::string probe = prefix + "xpsconv-probe-" + suffix + ".tmp";
        const std::wstring wideProbe = win32::WidePath(probe);
        const HANDLE file = CreateFileW(wideProbe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return std::string();
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return win32::ErrorText(error);
    }
    return win32::ErrorText(ERROR_FILE_EXISTS);
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return _wfopen(win32::WidePath(path).c_str(), win32::Wide(mode).c_str());
}

std::FILE* CreateNewFile(const std::string& path, const char* mode) {
    const std::wstring wide = win32::WidePath(path);
    const bool reads = std::strchr(mode, 'r') != nullptr || std::strchr(mode, '+') != nullptr;
    const bool binary = std::strchr(mode, 'b') != nullptr;
    // CREATE_NEW makes the creation itself the test, so no other writer's file is ever taken over.
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE | (reads ? GENERIC_READ : 0),
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = win32::ErrnoFromError(GetLastError());
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), binary ? _O_BINARY : _O_TEXT);
    if (descriptor < 0) {
        const int reason = errno;
        CloseHandle(handle);
        DeleteFileW(wide.c_str());
        errno = reason;
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, mode);
    if (file == nullptr) {
        const int reason = errno;
        _close(descriptor);  // closes the handle too
        DeleteFileW(wide.c_str());
        errno = reason;
    }
    return file;
}

bool FileIsReadOnly(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(win32::WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool MoveFileOver(const std::string& source, const std::string& target) {
    // While another process replaces or briefly holds the same target (a second run into the
    // same folder, a virus scanner), the replacement is refused for a moment; it is tried again
    // for up to a second before the refusal counts.
    const std::wstring from = win32::WidePath(source);
    const std::wstring to = win32::WidePath(target);
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) break;
        // A folder of that name stays a folder: no wait helps.
        const DWORD attributes = GetFileAttributesW(to.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) break;
        Sleep(20);
    }
    errno = win32::ErrnoFromError(error);
    return false;
}

}  // namespace platform
