#pragma once
// The run sequence of one program start.

#include <string>

// Exit status of a run; an interruption ends it with 128 + the signal's number instead.
enum ExitStatus : int {
    kExitSuccess = 0,       // everything found was converted, or nothing was asked
    kExitSomeFailed = 1,    // an input yielded no document, or a document no (complete) output
    kExitCannotStart = 2,   // engine or post-processor missing, invalid output folder, bad value
    kExitRepaired = 3,      // as 0, but the command line was repaired or partly ignored
};

// Runs the program on one command-line text (the words after the program name).
int RunProgram(const std::string& commandLine);
// Runs the program on the argument vector after the program name.
int RunProgramOnArguments(int count, char** arguments);

struct JoinedArguments {
    std::string text;
    std::string refusal;  // not empty: an argument that cannot be carried; convert nothing
};
// Rebuilds the one command-line text from the argument vector: arguments joined by one space,
// their own blanks and quotes held (see held_characters.h) so that each stays one word, an
// empty argument written as a pair of double quotes.
JoinedArguments JoinArguments(int count, char** arguments);
