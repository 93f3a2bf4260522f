#include <cstdlib>

#include "support/test_support.h"

std::string ShellQuote(const std::string& word) { return PosixShellWord(word); }

ShellResult RunShell(const std::string& command) {
    TempDir capture;
    const std::string out = capture / "out";
    const std::string err = capture / "err";
    const std::string code = capture / "code";
    const std::string wrapped = "( " + command + " ) </dev/null >" + ShellQuote(out) + " 2>" + ShellQuote(err) +
                                "; echo $? >" + ShellQuote(code);
    ShellResult result;
    if (std::system(wrapped.c_str()) != 0) return result;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    const std::string codeText = ReadFile(code);
    result.exitCode = codeText.empty() ? -1 : std::atoi(codeText.c_str());
    return result;
}

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + ShellQuote(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ProgramFile(const std::string& name) { return name; }
std::string HelperLibrary(const std::string& name) { return TestHelpersDir() + "/" + name + ".so"; }
std::string ArgQuote(const std::string& argument) { return ShellQuote(argument); }

ShellResult RunProgram(const std::string& program, const std::string& arguments, const ProgramOptions& options) {
    std::string command;
    if (!options.folder.empty()) command += "cd " + ShellQuote(options.folder) + " && ";
    command += "env ";
    if (!options.tempFolder.empty()) command += "TMPDIR=" + ShellQuote(options.tempFolder) + " ";
    for (const std::string& setting : options.environment) command += ShellQuote(setting) + " ";
    command += "timeout -k 5 " + std::to_string(options.timeoutSeconds) + " " + ShellQuote(program) + " " + arguments;
    return RunShell(command);
}
