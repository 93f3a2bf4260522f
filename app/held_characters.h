#pragma once
// On POSIX the arguments arrive as a vector, but the grammar reads one text in which blanks
// separate words and double quotes delimit values, with no escape. To carry every argument as
// typed, the text rebuilt from the vector holds the blanks and quotes inside an argument as two
// control characters that nobody types, and the parser gives them back once it has taken the
// argument. No argument can then be split into others or end early.

#include <string>

constexpr char kHeldBlank = '\x1f';
constexpr char kHeldQuote = '\x1e';

// True when text holds one of the two control characters (such an argument cannot be carried).
bool HoldsHeldCharacter(const std::string& text);
// The argument with its blanks and quotes held.
std::string HoldCharacters(const std::string& argument);
// The held blanks and quotes given back.
std::string ReleaseHeldCharacters(const std::string& text);
