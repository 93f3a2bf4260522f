#include <dlfcn.h>

#include "platform/platform.h"

namespace platform {

void* LoadLibraryFile(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* LibraryOrdinal(void* library, int ordinal) {
    if (library == nullptr) return nullptr;
    const std::string symbol = "mstar_ordinal_" + std::to_string(ordinal);
    return dlsym(library, symbol.c_str());
}

void FreeLibraryFile(void* library) {
    if (library != nullptr) dlclose(library);
}

}  // namespace platform
