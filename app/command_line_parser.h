#pragma once
// The command-line grammar: a consuming tokeniser over one working text. Unknown switches and
// malformed arguments are skipped and values pulled into range, as ever, but each such repair
// is now told as a warning; a text beyond its capacity refuses the run instead of being cut.
// Long options (long_options.h) are taken wherever a switch may stand, before the letters are
// looked at; a bad value of theirs refuses the run, and they do not count towards the line's
// capacity.

#include <string>
#include <vector>

#include "app/input_collection.h"
#include "settings/settings.h"

constexpr size_t kArgumentCapacity = 255;

// What the parser has to tell besides the settings.
struct ParseReport {
    std::vector<std::string> warnings;  // one line each: an option skipped, defaulted or clamped
    std::vector<std::string> notices;   // one line each: an option taken as given, with a caution
    std::string refusal;                // not empty: a text over its capacity or a bad value; convert nothing
    bool versionAsked = false;          // --version was given
    std::vector<std::string> given;     // the options that set a value (-mx, -pu, ...), as named in messages
    bool Given(const std::string& option) const;
};

// Applies every option to settings and every -i specification to inputs. Returns 0 for an
// empty command line (after opening the help file), else 1.
int ParseCommandLine(const std::string& commandLine, Settings& settings, InputList& inputs,
                     ParseReport* report = nullptr);

// The grammar's steps, on the working text (exposed for tests). TakeArgument cuts the argument
// at its capacity and sets overCapacity (when given) if it had to.
int NextSwitch(std::string& text);
int TakeFlag(std::string& text);
int TakeArgument(std::string& text, std::string& argument, bool* overCapacity = nullptr);
// The value at the front of text (an argument's steps after its letter): quoted or up to the
// next blank; 0 when it is empty.
int TakeValue(std::string& text, std::string& argument, bool* overCapacity = nullptr);
void ParseSize(const std::string& argument, Settings& settings);
// Reads a number the way the C library's atoi does (clamped to 32 bits instead of overflowing).
int32_t ReadNumber(const std::string& text);
// True when text, blanks around it aside, is an optional sign followed by decimal digits only.
bool IsPlainNumber(const std::string& text);
