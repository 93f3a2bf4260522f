#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace platform {

std::string ProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) return std::string();
    std::string path(buffer, static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

static std::string CurrentFolder() {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof(buffer)) == nullptr) return std::string();
    return buffer;
}

std::string FullPath(const std::string& path) {
    if (path.empty()) return std::string();
    std::string joined;
    if (path[0] == '/') {
        joined = path;
    } else {
        const std::string current = CurrentFolder();
        if (current.empty()) return std::string();
        joined = current + "/" + path;
    }
    // Resolve "." and ".." by text; keep a trailing separator the caller wrote.
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= joined.size()) {
        size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string part = joined.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) result += "/" + part;
    if (result.empty()) return "/";
    const bool trailing = joined.back() == '/' ||
                          (joined.size() >= 2 && joined.compare(joined.size() - 2, 2, "/.") == 0) ||
                          (joined.size() >= 3 && joined.compare(joined.size() - 3, 3, "/..") == 0);
    if (trailing) result += "/";
    return result;
}

bool FileReadable(const std::string& path) {
    const std::string full = FullPath(path);
    if (full.empty()) return false;
    struct stat info;
    if (stat(full.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool FolderEnterable(const std::string& path) {
    const std::string full = FullPath(path);
    if (full.empty()) return false;
    struct stat info;
    return stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && access(full.c_str(), X_OK) == 0;
}

bool IsAbsoluteFolderPath(const std::string& path) { return !path.empty() && path[0] == '/'; }

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string* reason) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        if (reason != nullptr) *reason = std::strerror(errno);
        return false;
    }
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    while (dirent* entry = readdir(dir)) {
        FolderEntry item;
        item.name = entry->d_name;
        struct stat info;
        // Links are followed, as a folder listing of the other platform reports their targets.
        const bool known = stat((prefix + item.name).c_str(), &info) == 0;
        item.isFolder = known && S_ISDIR(info.st_mode);
        item.isRegularFile = known && S_ISREG(info.st_mode);
        struct stat own;
        item.isLink = lstat((prefix + item.name).c_str(), &own) == 0 && S_ISLNK(own.st_mode);
        entries.push_back(std::move(item));
    }
    closedir(dir);
    return true;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RemoveFolder(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return rmdir(folder.c_str()) == 0;
}

std::string MakePrivateTempFolder(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string root = (base != nullptr && base[0] != '\0') ? base : "/tmp";
    if (root.back() != '/') root += '/';
    std::string pattern = root + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // mkdtemp creates the folder with mode 0700.
    if (mkdtemp(buffer.data()) == nullptr) return std::string();
    return std::string(buffer.data()) + "/";
}

std::string FolderUnusableReason(const std::string& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) return std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return std::strerror(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    return std::string();
}

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* CreateNewFile(const std::string& path, const char* mode) {
    // O_EXCL makes the creation itself the test, so no other writer's file is ever taken over;
    // read and write, since the mode may ask for both ("w+b").
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) return nullptr;
    std::FILE* file = fdopen(descriptor, mode);
    if (file == nullptr) {
        const int reason = errno;
        close(descriptor);
        unlink(path.c_str());
        errno = reason;
    }
    return file;
}

bool FileIsReadOnly(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool MoveFileOver(const std::string& source, const std::string& target) {
    return rename(source.c_str(), target.c_str()) == 0;
}

}  // namespace platform
