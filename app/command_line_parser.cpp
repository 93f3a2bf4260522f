#include "app/command_line_parser.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "app/file_helpers.h"
#include "app/option_tables.h"
#include "platform/platform.h"

namespace {

// Drops the first word and the blanks after it.
void DropFirstWord(std::string& text) {
    const size_t space = text.find(' ');
    if (space == std::string::npos) {
        text.clear();
    } else {
        text.erase(0, space);
        TrimSpaces(text);
    }
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return std::min(std::max(value, low), high); }

void OpenHelp(const Settings& settings) { platform::OpenHelpFile(settings.helpFilePath); }

// Takes an argument and trims it; 0 when there is none.
int TakeTrimmedArgument(std::string& text, std::string& argument) {
    if (!TakeArgument(text, argument)) return 0;
    TrimSpaces(argument);
    return 1;
}

// The m group: page image options. The text starts with the option's second letter.
void ApplyImageOption(std::string& text, Settings& settings) {
    std::string argument;
    switch (text[0]) {
        case 'b':
            if (TakeArgument(text, argument)) settings.bitsPerPixel = ReadNumber(argument);
            break;
        case 'c':
            if (TakeArgument(text, argument)) settings.tiffCompression = CompressionCode(argument);
            break;
        case 'g':
            if (TakeTrimmedArgument(text, argument)) {
                const int32_t degrees = ReadNumber(argument);
                settings.rotation =
                    (degrees == 90 || degrees == 180 || degrees == 270) ? degrees : 0;
            }
            break;
        case 'm':
            if (TakeFlag(text)) settings.multiPageTiff = 1;
            break;
        case 'q':
            if (TakeTrimmedArgument(text, argument)) settings.jpegQuality = Clamp(ReadNumber(argument), 1, 100);
            break;
        case 's':
            if (TakeTrimmedArgument(text, argument)) ParseSize(argument, settings);
            break;
        case 'x':
            if (TakeTrimmedArgument(text, argument)) settings.resolutionX = Clamp(ReadNumber(argument), 72, 600);
            break;
        case 'y':
            if (TakeTrimmedArgument(text, argument)) settings.resolutionY = Clamp(ReadNumber(argument), 72, 600);
            break;
    }
}

// The p group: PDF options.
void ApplyPdfOption(std::string& text, Settings& settings) {
    std::string argument;
    const char letter = text[0];
    std::string* field = nullptr;
    switch (letter) {
        case 'a': field = &settings.pdfAuthor; break;
        case 'c': field = &settings.pdfCreator; break;
        case 'k': field = &settings.pdfKeywords; break;
        case 'p': field = &settings.pdfProducer; break;
        case 's': field = &settings.pdfSubject; break;
        case 't': field = &settings.pdfTitle; break;
        case 'n': field = &settings.pdfOwnerPassword; break;
        case 'u': field = &settings.pdfUserPassword; break;
        case 'e':
            if (TakeTrimmedArgument(text, argument)) {
                settings.pdfRestrictions = Clamp(ReadNumber(argument), 0, 60);
                settings.pdfEncrypt = 1;
            }
            return;
        case 'l':
            if (TakeTrimmedArgument(text, argument)) {
                const int32_t bits = ReadNumber(argument);
                settings.pdfKeyLength = bits == 128 ? 128 : 40;
                settings.pdfEncrypt = 1;
            }
            return;
        default:
            return;
    }
    if (TakeArgument(text, argument)) {
        AssignCapped(*field, argument, kSettingsTextCapacity);
        if (letter == 'n' || letter == 'u') settings.pdfEncrypt = 1;
    }
}

// The w group: overlay options. A number option without a usable argument writes 0.
void ApplyOverlayOption(std::string& text, Settings& settings) {
    std::string argument;
    const char letter = text[0];
    int32_t* number = nullptr;
    switch (letter) {
        case 'c': number = &settings.overlayColor; break;
        case 'p': number = &settings.overlayPosition; break;
        case 'r': number = &settings.overlayRotation; break;
        case 's': number = &settings.overlaySize; break;
        case 'x': number = &settings.overlayX; break;
        case 'y': number = &settings.overlayY; break;
        case 'g':
            if (TakeFlag(text)) settings.overlayFlag = 1;
            return;
        case 't':
            if (TakeArgument(text, argument)) {
                AssignCapped(settings.overlayText, argument, kSettingsTextCapacity);
                settings.overlayEnabled = 1;
            }
            return;
        default:
            return;
    }
    int32_t value = TakeArgument(text, argument) ? ReadNumber(argument) : 0;
    if (letter == 'r') value = value <= 0 ? 0 : (value > 360 ? value % 360 : value);
    *number = value;
}

bool IsGroupLetter(char group, char second) {
    std::string_view letters;
    switch (group) {
        case 'm': letters = "bcgmqsxy"; break;
        case 'p': letters = "acekl" "npstu"; break;
        case 'w': letters = "cgprstxy"; break;
        default: return false;
    }
    return second != '\0' && letters.find(second) != std::string_view::npos;
}

void ApplySwitch(std::string& text, Settings& settings, InputList& inputs) {
    std::string argument;
    const char letter = text[0];
    switch (letter) {
        case '?':
        case 'h':
            if (TakeFlag(text)) OpenHelp(settings);
            return;
        case '-':
            // "--help", as people on this platform type it.
            if (text.compare(0, 5, "-help") == 0 && (text.size() == 5 || text[5] == ' ')) {
                text.erase(0, 5);
                TrimSpaces(text);
                OpenHelp(settings);
            }
            return;
        case 'i':
            if (TakeArgument(text, argument)) inputs.push_back(argument);
            return;
        case 'o':
            if (TakeArgument(text, argument)) AssignCapped(settings.outputFolder, argument, kSettingsTextCapacity);
            return;
        case 't':
            if (TakeTrimmedArgument(text, argument)) ApplyOutputType(argument, settings);
            return;
        case 'm':
        case 'p':
        case 'w': {
            const char second = text.size() > 1 ? text[1] : '\0';
            if (!IsGroupLetter(letter, second)) return;
            text.erase(0, 1);
            if (letter == 'm') ApplyImageOption(text, settings);
            if (letter == 'p') ApplyPdfOption(text, settings);
            if (letter == 'w') ApplyOverlayOption(text, settings);
            return;
        }
        default:
            return;
    }
}

}  // namespace

int32_t ReadNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

int NextSwitch(std::string& text) {
    if (text.empty()) return 0;
    if (text == "-") {
        text.clear();
        return 0;
    }
    if (text[0] == '-') return 1;
    DropFirstWord(text);
    return 0;
}

int TakeFlag(std::string& text) {
    if (text.size() == 1 || text[1] == ' ') {
        text.erase(0, 1);
        TrimSpaces(text);
        return 1;
    }
    DropFirstWord(text);
    return 0;
}

int TakeArgument(std::string& text, std::string& argument) {
    argument.clear();
    if (text.size() > 1 && text[1] != ' ') {
        DropFirstWord(text);
        return 0;
    }
    if (text.size() <= 1) {
        text.clear();
        return 0;
    }
    text.erase(0, 1);
    TrimSpaces(text);
    const bool quoted = !text.empty() && text[0] == '"';
    if (quoted) text.erase(0, 1);
    if (text.empty()) return 0;
    const size_t end = text.find(quoted ? '"' : ' ');
    std::string taken;
    if (end != std::string::npos) {
        taken = text.substr(0, end);
        text.erase(0, end);
        TrimSpaces(text);
    } else {
        taken = text;
        text.clear();
    }
    if (taken.empty()) return 0;
    AssignCapped(argument, taken, kArgumentCapacity);
    return 1;
}

void ParseSize(const std::string& argument, Settings& settings) {
    std::string lower = argument;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t x = lower.find('x');
    if (x == std::string::npos) {
        settings.imageWidth = 0;
        settings.imageHeight = ReadNumber(lower);
    } else {
        settings.imageWidth = ReadNumber(lower.substr(0, x));
        settings.imageHeight = ReadNumber(lower.substr(x + 1));
    }
}

int ParseCommandLine(const std::string& commandLine, Settings& settings, InputList& inputs) {
    if (commandLine.empty()) {
        OpenHelp(settings);
        return 0;
    }
    std::string text = commandLine;
    AssignCapped(text, std::string(text), kCommandLineCapacity);
    TrimSpaces(text);
    while (!text.empty()) {
        if (!NextSwitch(text)) continue;
        text.erase(0, 1);
        if (!text.empty()) ApplySwitch(text, settings, inputs);
        TrimSpaces(text);
    }
    return 1;
}
