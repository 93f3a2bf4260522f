#pragma once
// The run sequence of one program start.

#include <string>

// Exit status of a run.
enum ExitStatus : int {
    kExitSuccess = 0,       // everything found was converted, or nothing was asked
    kExitSomeFailed = 1,    // an input yielded no document, or a document no (complete) output
    kExitCannotStart = 2,   // engine or post-processor missing, invalid output folder
};

// Runs the program on one command-line text (the words after the program name).
int RunProgram(const std::string& commandLine);
// Rebuilds the one command-line text from the argument vector: arguments joined by one space,
// an argument holding a space (or an empty one) wrapped in double quotes.
std::string JoinArguments(int count, char** arguments);
