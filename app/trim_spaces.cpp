#include "app/trim_spaces.h"

size_t TrimSpaces(std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return 0;
    }
    const size_t last = text.find_last_not_of(' ');
    text = text.substr(first, last - first + 1);
    return text.size();
}
