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
// for more, so that a long path (the manifest declares the program long-path aware) is whole.
constexpr size_t kFirstPathRoom = 512;
// The longest path the system takes at all.
constexpr size_t kLongestPath = 32768;

std::string ProgramFolder() {
    std::string path(kFirstPathRoom, '\0');
    while (true) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::string();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= kLongestPath) return std::string();
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FullPath(const std::string& path) {
    if (path.empty()) return std::string();
    std::string full(kFirstPathRoom, '\0');
    while (true) {
        const DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return std::string();
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length + 1);  // the length asked for, with its closing null
    }
}

bool FileReadable(const std::string& path) {
    const std::string full = FullPath(path);
    if (full.empty()) return false;
    const DWORD attributes = GetFileAttributesA(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    // Shared as the C runtime's fopen shares it (no FILE_SHARE_DELETE): a file that a rename
    // into place still holds open for deletion is not yet readable to the caller's reader, so
    // the probe must say so too rather than let the reader fail moments later.
    const HANDLE file = CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
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
    const DWORD attributes = GetFileAttributesA(full.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsAbsoluteFolderPath(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
           path[2] == '\\';
}

bool MakeFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string* reason) {
    std::string prefix = folder.empty() ? std::string(".") : folder;
    if (!EndsWithSeparator(prefix)) prefix += '\\';
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A folder with nothing in it, not even "." and ".." (a drive's root).
        if (error == ERROR_FILE_NOT_FOUND) return true;
        if (reason != nullptr) *reason = win32::ErrorText(error);
        return false;
    }
    do {
        FolderEntry item;
        item.name = found.cFileName;
        item.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        item.isRegularFile = !item.isFolder && (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
        item.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back(std::move(item));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool RemoveFolder(const std::string& path) {
    std::string folder = path;
    // "C:\" keeps its separator: without it the name means the drive's current folder.
    while (folder.size() > 1 && EndsWithSeparator(folder) && !(folder.size() == 3 && folder[1] == ':'))
        folder.pop_back();
    return RemoveDirectoryA(folder.c_str()) != 0;
}

std::string MakePrivateTempFolder(const std::string& prefix) {
    std::string root(kFirstPathRoom, '\0');
    DWORD length = GetTempPathA(static_cast<DWORD>(root.size()), root.data());
    if (length >= root.size() && length < kLongestPath) {
        root.resize(length + 1);  // the length asked for, with its closing null
        length = GetTempPathA(static_cast<DWORD>(root.size()), root.data());
    }
    if (length == 0 || length >= root.size()) return std::string();
    root.resize(length);
    if (!EndsWithSeparator(root)) root += '\\';
    root += "mtmp\\";
    if (!CreateDirectoryA(root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return std::string();

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
        if (CreateDirectoryA(folder.c_str(), attributes)) {
            made = folder + "\\";
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    if (security.lpSecurityDescriptor != nullptr) LocalFree(security.lpSecurityDescriptor);
    return made;
}

std::string FolderUnusableReason(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return win32::ErrorText(GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return win32::ErrorText(ERROR_DIRECTORY);
    // The access lists decide, and only a try tells: a probe file that goes when it is closed.
    std::string prefix = folder;
    if (!EndsWithSeparator(prefix)) prefix += '\\';
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        if (!RandomName(suffix, 8)) return win32::ErrorText(ERROR_GEN_FAILURE);
        const std::string probe = prefix + "xpsconv-probe-" + suffix + ".tmp";
        const HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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

std::FILE* CreateNewFile(const std::string& path, const char* mode) {
    const bool reads = std::strchr(mode, 'r') != nullptr || std::strchr(mode, '+') != nullptr;
    const bool binary = std::strchr(mode, 'b') != nullptr;
    // CREATE_NEW makes the creation itself the test, so no other writer's file is ever taken over.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE | (reads ? GENERIC_READ : 0),
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
        DeleteFileA(path.c_str());
        errno = reason;
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, mode);
    if (file == nullptr) {
        const int reason = errno;
        _close(descriptor);  // closes the handle too
        DeleteFileA(path.c_str());
        errno = reason;
    }
    return file;
}

bool FileIsReadOnly(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool MoveFileOver(const std::string& source, const std::string& target) {
    // While another process replaces or briefly holds the same target (a second run into the
    // same folder, a virus scanner), the replacement is refused for a moment; it is tried again
    // for up to a second before the refusal counts.
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) break;
        // A folder of that name stays a folder: no wait helps.
        const DWORD attributes = GetFileAttributesA(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) break;
        Sleep(20);
    }
    errno = win32::ErrnoFromError(error);
    return false;
}

}  // namespace platform
