#include "engine/runtime/output_files.h"

#include "protocol/engine_protocol.h"

namespace engine {
namespace {

// Replaces the number directives; sets found when there was at least one.
std::string ExpandTemplate(const std::string& pathTemplate, int page, bool& found) {
    std::string result;
    found = false;
    for (size_t i = 0; i < pathTemplate.size(); ++i) {
        char c = pathTemplate[i];
        if (c != '%') {
            result += c;
            continue;
        }
        if (i + 1 < pathTemplate.size() && pathTemplate[i + 1] == '%') {
            result += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool zeroPad = j < pathTemplate.size() && pathTemplate[j] == '0';
        if (zeroPad) ++j;
        int width = 0;
        while (j < pathTemplate.size() && pathTemplate[j] >= '0' && pathTemplate[j] <= '9' &&
               width < 100) {
            width = width * 10 + (pathTemplate[j] - '0');
            ++j;
        }
        if (j < pathTemplate.size() && pathTemplate[j] == 'd') {
            std::string digits = std::to_string(page);
            if (static_cast<int>(digits.size()) < width) {
                digits.insert(0, width - digits.size(), zeroPad ? '0' : ' ');
            }
            result += digits;
            found = true;
            i = j;
        } else {
            result += c;  // not a directive we know: kept as written
        }
    }
    return result;
}

}  // namespace

std::string PageFileName(const std::string& pathTemplate, int page, int pageCount) {
    bool found = false;
    std::string name = ExpandTemplate(pathTemplate, page, found);
    if (found || pageCount <= 1) return name;
    size_t slash = name.find_last_of("/\\");
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = name.size();
    return name.insert(dot, protocol::PageNumberText(page));
}

}  // namespace engine
