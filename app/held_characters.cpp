#include "app/held_characters.h"

bool HoldsHeldCharacter(const std::string& text) {
    return text.find(kHeldBlank) != std::string::npos || text.find(kHeldQuote) != std::string::npos;
}

std::string HoldCharacters(const std::string& argument) {
    std::string held = argument;
    for (char& c : held) {
        if (c == ' ') c = kHeldBlank;
        if (c == '"') c = kHeldQuote;
    }
    return held;
}

std::string ReleaseHeldCharacters(const std::string& text) {
    std::string released = text;
    for (char& c : released) {
        if (c == kHeldBlank) c = ' ';
        if (c == kHeldQuote) c = '"';
    }
    return released;
}
