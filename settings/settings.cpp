#include "settings/settings.h"

#include "platform/file_helpers.h"

void ResetSettings(Settings& settings) {
    settings = Settings{};
    settings.helpFilePath = platform::PathBesideProgram("Command line.txt");
}

void AssignCapped(std::string& target, std::string_view text, size_t capacity) {
    target.assign(text.substr(0, capacity));
}
