#include "app/command_line_parser.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <utility>

#include "app/held_characters.h"
#include "app/input_list_file.h"
#include "app/long_options.h"
#include "app/option_tables.h"
#include "app/pdf_password.h"
#include "app/trim_spaces.h"
#include "app/winansi_text.h"
#include "platform/file_helpers.h"
#include "platform/platform.h"
#include "protocol/engine_protocol.h"
#include "settings/converter_message.h"

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

std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

// A long option's value; its closing quote goes with it, so that no part of it is left to the
// grammar's text.
int TakeQuotedValue(std::string& text, std::string& value, bool* overCapacity) {
    const bool quoted = !text.empty() && text[0] == '"';
    const int taken = TakeValue(text, value, overCapacity);
    if (quoted && !text.empty() && text[0] == '"') {
        text.erase(0, 1);
        TrimSpaces(text);
    }
    return taken;
}

// Far beyond the grammar's capacity with every long option given at its longest.
constexpr size_t kLongestLine = 65536;

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

// True when word is a switch the grammar knows (the letters alone, no value).
bool IsKnownSwitch(const std::string& word) {
    if (word.size() == 2 && word[0] == '-') return std::string_view("iot?h").find(word[1]) != std::string_view::npos ||
                                                    FindShortOption(word[1]) != nullptr;
    return word.size() == 3 && word[0] == '-' && IsGroupLetter(word[1], word[2]);
}

// True when a loose word names a file or folder that is there: an input without its -i.
bool NamesExistingPath(const std::string& word) {
    return platform::FileExists(word) != 0 || platform::FolderExists(word) != 0;
}

// One parse: the records it fills and what it has to tell.
struct Parse {
    Settings& settings;
    InputList& inputs;
    ParseReport& report;

    std::string word;  // the switch being applied, as typed, for messages
    bool glued = false;  // the last option had its value glued to it (already told)
    bool tookLongOption = false;  // the last switch was one of the long options' table

    void Warn(const std::string& line) { report.warnings.push_back(ConverterMessage(line)); }
    void Refuse(const std::string& line) {
        if (report.refusal.empty()) report.refusal = ConverterMessage(line + "; nothing was converted");
    }
    void Unknown() {
        std::string lower = word;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        // An upper-case letter is the likeliest slip of all: name the switch that was meant.
        const std::string hint = lower != word && IsKnownSwitch(lower) ? " (options are lower case: " + lower + ")" : "";
        Warn("unknown option " + word + " ignored" + hint);
    }

    // Takes the argument of option (its name as typed, for messages); 0 when there is none.
    int Argument(std::string& text, const std::string& option, std::string& argument) {
        bool overCapacity = false;
        glued = text.size() > 1 && text[1] != ' ';
        if (glued) Unknown();
        const int taken = TakeArgument(text, argument, &overCapacity);
        if (taken) report.given.push_back(option);
        if (overCapacity && report.refusal.empty()) {
            report.refusal = ConverterMessage("the value of " + option + " is longer than " +
                                              std::to_string(kArgumentCapacity) +
                                              " characters; nothing was converted");
        }
        return taken;
    }
    int TrimmedArgument(std::string& text, const std::string& option, std::string& argument) {
        if (!Argument(text, option, argument)) return 0;
        TrimSpaces(argument);
        return 1;
    }
    void Missing(const std::string& option, const std::string& consequence) {
        if (!glued) Warn(option + " has no value, " + consequence);
    }

    // A number option: reads, corrects and tells what was changed.
    int32_t Number(const std::string& option, const std::string& argument, int32_t low, int32_t high) {
        const int32_t read = ReadNumber(argument);
        const int32_t value = std::min(std::max(read, low), high);
        if (!IsPlainNumber(argument)) {
            Warn(option + " " + argument + " is not a number, " + std::to_string(value) + " used");
        } else if (value != read) {
            Warn(option + " " + argument + " is out of range, " + std::to_string(value) + " used");
        }
        return value;
    }
    int32_t Number(const std::string& option, const std::string& argument) {
        return Number(option, argument, INT32_MIN, INT32_MAX);
    }

    void EncodePasswords();
    void LongOption(std::string& text);
    void ApplyLongOption(const ::LongOption& option, bool hasValue, const std::string& value);
    void ImageOption(std::string& text);
    void PdfOption(std::string& text);
    void OverlayOption(std::string& text);
    void Switch(std::string& text);
};

// text begins with the long option's name after its first dash ("-jobs 4", "-jobs=4").
void Parse::LongOption(std::string& text) {
    const size_t end = text.find_first_of(" =");
    const ::LongOption* option = FindLongOption(text.substr(1, end == std::string::npos ? end : end - 1));
    if (option == nullptr) {
        Unknown();
        DropFirstWord(text);
        return;
    }
    word = "--" + std::string(option->name);
    tookLongOption = true;
    std::string value;
    bool hasValue = false;
    bool overCapacity = false;
    const bool equals = end != std::string::npos && text[end] == '=';
    text.erase(0, equals ? end + 1 : end == std::string::npos ? text.size() : end);
    if (!equals) TrimSpaces(text);
    if (equals || !option->valueName.empty()) hasValue = TakeQuotedValue(text, value, &overCapacity);
    if (equals && option->valueName.empty()) {
        Refuse(word + " takes no value");
        return;
    }
    if (overCapacity) {
        Refuse("the value of " + word + " is longer than " + std::to_string(kArgumentCapacity) + " characters");
        return;
    }
    ApplyLongOption(*option, hasValue, value);
}

void Parse::ApplyLongOption(const ::LongOption& option, bool hasValue, const std::string& value) {
    if (!option.valueName.empty() && !hasValue) {
        Refuse(word + " needs a value (" + std::string(option.valueName) + ")");
        return;
    }
    const std::string typed = word + " " + value;
    switch (option.id) {
        case LongOptionId::kHelp:
            platform::OpenHelpFile(settings.helpFilePath);
            break;
        case LongOptionId::kVersion:
            report.versionAsked = true;
            break;
        case LongOptionId::kJobs:
            if (!ReadJobs(value, settings.jobs))
                Refuse(typed + ": give a whole number from 0 (one per core) to " + std::to_string(kMaxJobs));
            break;
        case LongOptionId::kList: {
            std::string reason;
            if (!ReadInputList(value, inputs, reason)) Refuse(typed + ": the list cannot be read (" + reason + ")");
            break;
        }
        case LongOptionId::kRecursive:
            settings.recursive = true;
            break;
        case LongOptionId::kSkipExisting:
            settings.skipExisting = true;
            break;
        case LongOptionId::kShard:
            if (!ReadShard(value, settings.shardIndex, settings.shardCount))
                Refuse(typed + ": give K/N, whole numbers with 0 <= K < N (parts count from 0)");
            break;
        case LongOptionId::kReport:
            AssignCapped(settings.reportPath, value, kSettingsTextCapacity);
            break;
        case LongOptionId::kQuiet:
            settings.quiet = true;
            break;
        case LongOptionId::kDpi: {
            int32_t dpi = 0;
            if (!ReadResolution(value, dpi)) {
                Refuse(typed + ": give a whole number from 72 to 600");
                break;
            }
            settings.resolutionX = settings.resolutionY = dpi;
            report.given.insert(report.given.end(), {"-mx", "-my"});
            break;
        }
    }
}

void Parse::ImageOption(std::string& text) {
    std::string argument;
    const std::string option = std::string("-m") + text[0];
    switch (text[0]) {
        case 'b':
            if (Argument(text, option, argument)) settings.bitsPerPixel = Number(option, argument);
            else Missing(option, "ignored");
            break;
        case 'c':
            if (Argument(text, option, argument)) {
                settings.tiffCompression = CompressionCode(argument);
                if (!IsCompressionKeyword(argument)) Warn("unknown compression " + option + " " + argument + ", jpg used");
            } else {
                Missing(option, "ignored");
            }
            break;
        case 'g':
            if (TrimmedArgument(text, option, argument)) {
                const int32_t degrees = ReadNumber(argument);
                const bool allowed = degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
                settings.rotation = allowed ? degrees : 0;
                if (!allowed || !IsPlainNumber(argument))
                    Warn(option + " " + argument + " is not 0, 90, 180 or 270, 0 used");
            } else {
                Missing(option, "ignored");
            }
            break;
        case 'm':
            if (TakeFlag(text)) {
                settings.multiPageTiff = 1;
                report.given.push_back(option);
            } else {
                Unknown();
            }
            break;
        case 'q':
            if (TrimmedArgument(text, option, argument)) settings.jpegQuality = Number(option, argument, 1, 100);
            else Missing(option, "ignored");
            break;
        case 's':
            if (TrimmedArgument(text, option, argument)) {
                ParseSize(argument, settings);
                if (settings.imageWidth <= 0 || settings.imageHeight <= 0)
                    Warn(option + " " + argument + " is not a size WxH, pages keep their size");
            } else {
                Missing(option, "ignored");
            }
            break;
        case 'x':
            if (TrimmedArgument(text, option, argument)) settings.resolutionX = Number(option, argument, 72, 600);
            else Missing(option, "ignored");
            break;
        case 'y':
            if (TrimmedArgument(text, option, argument)) settings.resolutionY = Number(option, argument, 72, 600);
            else Missing(option, "ignored");
            break;
    }
}

void Parse::PdfOption(std::string& text) {
    std::string argument;
    const char letter = text[0];
    const std::string option = std::string("-p") + letter;
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
            if (TrimmedArgument(text, option, argument)) {
                settings.pdfRestrictions = Number(option, argument, 0, protocol::kAllPermissions);
                settings.pdfEncrypt = 1;
            } else {
                Missing(option, "ignored");
            }
            return;
        case 'l':
            // A key length decides how strong the protection is: a value that is not one of
            // the three is a slip that must not quietly give a weaker key.
            if (TrimmedArgument(text, option, argument) && IsPlainNumber(argument) &&
                (ReadNumber(argument) == 40 || ReadNumber(argument) == 128 || ReadNumber(argument) == 256)) {
                settings.pdfKeyLength = ReadNumber(argument);
            } else {
                Refuse(option + (argument.empty() ? " has no value" : " " + argument + " is not a key length") +
                       ": use 40, 128 or 256");
            }
            settings.pdfEncrypt = 1;
            return;
        default:
            return;
    }
    if (Argument(text, option, argument)) {
        AssignCapped(*field, argument, kSettingsTextCapacity);
        if (letter == 'n' || letter == 'u') settings.pdfEncrypt = 1;
    } else {
        Missing(option, "ignored");
    }
}

// The passwords become the bytes the PDF's security handler keys on, once the key length is
// known; the engine and the post-processor both take these bytes.
void Parse::EncodePasswords() {
    if (!settings.outputPdf || !settings.pdfEncrypt) return;
    if (settings.pdfKeyLength == 40)
        report.notices.push_back(
            ConverterMessage("-pl 40: a 40-bit key can be found by trying every key; -pl 128 or 256 protects"));
    const bool aes256 = settings.pdfKeyLength == 256;
    for (const auto& [option, password] : {std::pair{"-pu", &settings.pdfUserPassword},
                                           std::pair{"-pn", &settings.pdfOwnerPassword}}) {
        if (password->empty()) continue;
        const PasswordBytes converted = PdfPasswordBytes(platform::ArgumentTextAsUtf8(*password), aes256);
        if (converted.problem.empty()) {
            *password = converted.bytes;
        } else {
            Refuse(std::string("the password of ") + option + " " + converted.problem);
        }
    }
}

void Parse::OverlayOption(std::string& text) {
    std::string argument;
    const char letter = text[0];
    const std::string option = std::string("-w") + letter;
    int32_t* number = nullptr;
    switch (letter) {
        case 'c': number = &settings.overlayColor; break;
        case 'p': number = &settings.overlayPosition; break;
        case 'r': number = &settings.overlayRotation; break;
        case 's': number = &settings.overlaySize; break;
        case 'x': number = &settings.overlayX; break;
        case 'y': number = &settings.overlayY; break;
        case 'g':
            if (TakeFlag(text)) {
                settings.overlayFlag = 1;
                report.given.push_back(option);
            } else {
                Unknown();
            }
            return;
        case 't':
            if (Argument(text, option, argument)) {
                bool unmapped = false;
                const std::string bytes = Utf8ToWinAnsi(platform::ArgumentTextAsUtf8(argument), &unmapped);
                if (unmapped)
                    Warn(option + " \"" + argument + "\": characters the overlay font cannot show became ?");
                AssignCapped(settings.overlayText, bytes, kSettingsTextCapacity);
                settings.overlayEnabled = 1;
            } else {
                Missing(option, "ignored");
            }
            return;
        default:
            return;
    }
    // A number option of this group without a usable argument writes 0.
    int32_t value = 0;
    if (Argument(text, option, argument)) {
        value = Number(option, argument);
    } else {
        Missing(option, "0 used");
    }
    if (letter == 'r') {
        const int32_t reduced = value <= 0 ? 0 : (value > 360 ? value % 360 : value);
        if (reduced != value) Warn(option + " " + argument + " taken as " + std::to_string(reduced));
        value = reduced;
    }
    *number = value;
}

void Parse::Switch(std::string& text) {
    std::string argument;
    const char letter = text[0];
    // Appended rather than concatenated: GCC 12 warns falsely (-Wrestrict) on "-" + text.
    word.assign(1, '-');
    word += ReleaseHeldCharacters(FirstWord(text));
    glued = false;
    // The word of a switch that does nothing is dropped here, so that only the loose words
    // after it are told as such.
    const auto unknown = [&] {
        Unknown();
        DropFirstWord(text);
    };
    switch (letter) {
        case '?':
        case 'h':
            if (TakeFlag(text)) platform::OpenHelpFile(settings.helpFilePath);
            else Unknown();
            return;
        case '-':
            LongOption(text);
            return;
        case 'j':
        case 'q': {
            // The two long options with a letter of their own; glued values are no values here
            // either.
            const ::LongOption& option = *FindShortOption(letter);
            if (text.size() > 1 && text[1] != ' ') {
                unknown();
                return;
            }
            tookLongOption = true;
            bool overCapacity = false;
            bool hasValue = false;
            if (option.valueName.empty()) {
                TakeFlag(text);
            } else {
                text.erase(0, 1);
                TrimSpaces(text);
                hasValue = TakeQuotedValue(text, argument, &overCapacity);
            }
            if (overCapacity) {
                Refuse("the value of " + word + " is longer than " + std::to_string(kArgumentCapacity) + " characters");
                return;
            }
            ApplyLongOption(option, hasValue, argument);
            return;
        }
        case 'i':
            if (Argument(text, "-i", argument)) inputs.push_back(argument);
            else Missing("-i", "ignored");
            return;
        case 'o':
            if (Argument(text, "-o", argument)) AssignCapped(settings.outputFolder, argument, kSettingsTextCapacity);
            else Missing("-o", "ignored");
            return;
        case 't':
            if (TrimmedArgument(text, "-t", argument)) {
                ApplyOutputType(argument, settings);
                if (!IsOutputTypeKeyword(argument)) Warn("unknown type -t " + argument + ", jpg used");
            } else {
                Missing("-t", "ignored");
            }
            return;
        case 'm':
        case 'p':
        case 'w': {
            const char second = text.size() > 1 ? text[1] : '\0';
            if (!IsGroupLetter(letter, second)) {
                unknown();
                return;
            }
            text.erase(0, 1);
            if (letter == 'm') ImageOption(text);
            if (letter == 'p') PdfOption(text);
            if (letter == 'w') OverlayOption(text);
            return;
        }
        default:
            unknown();
            return;
    }
}

}  // namespace

bool ParseReport::Given(const std::string& option) const {
    return std::find(given.begin(), given.end(), option) != given.end();
}

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

bool IsPlainNumber(const std::string& text) {
    std::string trimmed = text;
    TrimSpaces(trimmed);
    size_t i = (!trimmed.empty() && (trimmed[0] == '+' || trimmed[0] == '-')) ? 1 : 0;
    if (i >= trimmed.size()) return false;
    for (; i < trimmed.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(trimmed[i]))) return false;
    }
    return true;
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

int TakeArgument(std::string& text, std::string& argument, bool* overCapacity) {
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
    return TakeValue(text, argument, overCapacity);
}

int TakeValue(std::string& text, std::string& argument, bool* overCapacity) {
    argument.clear();
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
    if (overCapacity != nullptr) *overCapacity = taken.size() > kArgumentCapacity;
    AssignCapped(argument, ReleaseHeldCharacters(taken), kArgumentCapacity);
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

int ParseCommandLine(const std::string& commandLine, Settings& settings, InputList& inputs,
                     ParseReport* report) {
    ParseReport unused;
    Parse parse{settings, inputs, report != nullptr ? *report : unused, std::string(), false};
    if (commandLine.empty()) {
        platform::OpenHelpFile(settings.helpFilePath);
        return 0;
    }
    std::string text = commandLine;
    TrimSpaces(text);
    const std::string line = text;
    const auto overCapacity = [&](size_t length) {
        parse.report.refusal = ConverterMessage(
            "the command line is longer than " + std::to_string(kCommandLineCapacity) + " characters (" +
            std::to_string(length) +
            "); name a folder with -i, or list the documents with --list, instead of many files. Nothing was "
            "converted");
    };
    // No few long options make a line this long: it is refused before the word-by-word reading,
    // whose time grows with the square of the length.
    if (line.size() > kLongestLine) {
        overCapacity(line.size());
        return 1;
    }
    // What the line holds besides the long options: the text the capacity binds.
    std::string grammarText;
    while (!text.empty()) {
        const size_t before = text.size();
        parse.tookLongOption = false;
        // A closing quote left by an empty value is no word of the user's.
        if (!text.empty() && text[0] != '-' && FirstWord(text) != "\"") {
            const std::string loose = ReleaseHeldCharacters(FirstWord(text));
            // Windows programs answer /? with their help; elsewhere it is a word like any other.
            if (platform::kSlashQuestionIsHelp && loose == "/?")
                platform::OpenHelpFile(settings.helpFilePath);
            else
                parse.Warn("stray word " + loose + " ignored" +
                           (NamesExistingPath(loose) ? "; give inputs with -i or --list" : ""));
        }
        if (NextSwitch(text)) {
            text.erase(0, 1);
            if (!text.empty()) parse.Switch(text);
            TrimSpaces(text);
        }
        // Every step takes a piece from the front of the text, which stays the end of the line.
        if (!parse.tookLongOption) grammarText.append(line, line.size() - before, before - text.size());
    }
    // The grammar's text alone is bound by the capacity; this refusal outranks any other.
    const size_t grammarLength = TrimSpaces(grammarText);
    if (grammarLength > kCommandLineCapacity) overCapacity(grammarLength);
    parse.EncodePasswords();
    return 1;
}
