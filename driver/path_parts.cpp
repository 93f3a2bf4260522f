#include "driver/path_parts.h"

#include "platform/platform.h"

PathParts SplitPath(const std::string& path) {
    PathParts parts;
    const size_t separator = path.rfind(platform::kSeparator);
    const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    parts.folder = path.substr(0, nameStart);
    const std::string name = path.substr(nameStart);
    const size_t dot = name.rfind('.');
    parts.baseName = dot == std::string::npos ? name : name.substr(0, dot);
    return parts;
}
