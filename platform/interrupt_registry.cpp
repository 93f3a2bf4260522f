// The registry of what an interrupt cleans up, and the cleanup's file work; both platforms
// share it and differ only in how an interrupt arrives and how a child is ended.
#include "platform/interrupt_registry.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

struct Registry {
    std::mutex lock;
    std::vector<int64_t> children;
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

// Never destroyed: the cleanup thread may still use it while the process is exiting. It lives in
// static storage, not on the heap, and its lists give their memory back when they empty, so a
// library that links this and is unloaded leaves nothing allocated behind.
Registry& TheRegistry() {
    alignas(Registry) static unsigned char storage[sizeof(Registry)];
    static Registry* registry = new (storage) Registry;
    return *registry;
}

template <typename T>
void EraseOne(std::vector<T>& items, const T& item) {
    const auto found = std::find(items.begin(), items.end(), item);
    if (found != items.end()) items.erase(found);
    if (items.empty()) items.shrink_to_fit();
}

bool IsSeparator(char c) { return c == kSeparator || c == '/'; }

size_t LastSeparator(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) return i - 1;
    }
    return std::string::npos;
}

// A file is removed as it is; only what does not go as a file is listed and emptied, so a
// link to a folder goes as a link and what it points at stays.
void RemoveTree(const std::string& path) {
    if (RemoveFile(path)) return;
    std::vector<FolderEntry> entries;
    if (!ListFolder(path, entries)) return;
    for (const FolderEntry& entry : entries) {
        if (entry.name == "." || entry.name == "..") continue;
        RemoveTree(path + kSeparator + entry.name);
    }
    RemoveFolder(path);
}

// The file and its partial siblings ("<name>.<anything>", as a child writing to it makes them).
void RemoveTemporaryFile(const std::string& path) {
    RemoveFile(path);
    const size_t slash = LastSeparator(path);
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
    if (prefix.size() < 2) return;
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries)) return;
    for (const FolderEntry& entry : entries) {
        if (entry.name.compare(0, prefix.size(), prefix) == 0) RemoveFile(folder + entry.name);
    }
}

}  // namespace

namespace interrupt {

std::unique_lock<std::mutex> LockRegistry() { return std::unique_lock<std::mutex>(TheRegistry().lock); }
void AddChild(int64_t id) { TheRegistry().children.push_back(id); }
void RemoveChild(int64_t id) { EraseOne(TheRegistry().children, id); }

void CleanUpRegistered(void (*endChild)(int64_t id)) {
    Registry& registry = TheRegistry();
    // Taken for good: nothing can be registered, so nothing new is created, from here on.
    registry.lock.lock();
    // The children go first, so that none of them writes a file after its folder was emptied.
    for (const int64_t child : registry.children) endChild(child);
    for (const std::string& file : registry.files) RemoveTemporaryFile(file);
    for (const std::string& folder : registry.folders) {
        std::string path = folder;
        while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
        RemoveTree(path);
    }
}

}  // namespace interrupt

void RegisterTemporaryFile(const std::string& path) {
    const auto held = interrupt::LockRegistry();
    TheRegistry().files.push_back(path);
}

void ForgetTemporaryFile(const std::string& path) {
    const auto held = interrupt::LockRegistry();
    EraseOne(TheRegistry().files, path);
}

void RegisterTemporaryFolder(const std::string& folder) {
    const auto held = interrupt::LockRegistry();
    TheRegistry().folders.push_back(folder);
}

void ForgetTemporaryFolder(const std::string& folder) {
    const auto held = interrupt::LockRegistry();
    EraseOne(TheRegistry().folders, folder);
}

}  // namespace platform
