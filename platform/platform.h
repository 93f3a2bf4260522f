#pragma once
// Operating-system services used by the converter, its engine and its post-processor. One set
// of declarations, one implementation per platform (platform/posix, platform/win32), chosen by
// the build. The few constants that differ are chosen here, so that no file outside this
// folder asks which system it is built for.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

#if defined(_WIN32)
constexpr char kSeparator = '\\';
// Windows programs expand * and ? in their file names themselves; "/?" asks for help there.
constexpr bool kProgramExpandsWildcards = true;
constexpr bool kSlashQuestionIsHelp = true;
// The longest path the system takes at all (its extended-length form, in characters).
constexpr size_t kLongestSystemPath = 32767;
#else
constexpr char kSeparator = '/';
// The shell has expanded patterns before the program starts, and "/?" is a word like any other.
constexpr bool kProgramExpandsWildcards = false;
constexpr bool kSlashQuestionIsHelp = false;
// The longest path the system takes at all (PATH_MAX without its closing null).
constexpr size_t kLongestSystemPath = 4095;
#endif

// The text of this program's command line after its own name, as the system handed it over;
// false where the system hands over only an argument vector (POSIX).
bool ProgramArgumentsText(std::string& text);

// ---- Files and folders ----------------------------------------------------------------------

// Folder of the running program's own executable file, ending in a separator.
std::string ProgramFolder();
// Absolute form of path against the current folder; "." and ".." are resolved as text (links
// are not followed and the path need not exist). Empty when it cannot be formed.
std::string FullPath(const std::string& path);
// True when the current folder's form of path is a regular file that can be opened for reading.
bool FileReadable(const std::string& path);
// True when path names a folder that can be entered. Never changes the current folder.
bool FolderEnterable(const std::string& path);
// True when path names a valid output folder once made absolute.
bool IsAbsoluteFolderPath(const std::string& path);
// Creates one folder; false when it could not be made (an existing folder included).
bool MakeFolder(const std::string& path);

struct FolderEntry {
    std::string name;
    bool isFolder = false;
    bool isRegularFile = false;  // a plain file (links followed): not a pipe, device or socket
    bool isLink = false;         // a symbolic link or junction: its target may be anywhere
};
// Entries of a folder in the order the file system returns them ("." and ".." included).
// False when the folder cannot be listed (the system's reason in reason, when given).
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string* reason = nullptr);
bool RemoveFile(const std::string& path);
// The path as libraries that take UTF-8 file names expect it (the rendering library does on
// every system): unchanged where paths are UTF-8 already, converted from the ANSI code page on
// Windows when that is not UTF-8 (the program's manifest asks for UTF-8; systems before
// Windows 10 1903 ignore it). On Windows a path too long for the system's plain form comes
// back absolute with the extended-length prefix, which the libraries' wide calls pass on.
// Empty when it cannot be converted.
std::string PathForUtf8Library(const std::string& path);
// A text of the system's code page (a command-line word, a path shown in a report) in UTF-8,
// by the same rule but never prefixed; characters that cannot be converted become '?'.
std::string ArgumentTextAsUtf8(const std::string& text);
// Opens a file by name with the C library mode given, as fopen does, for paths as long as the
// system takes; nullptr with errno telling why.
std::FILE* OpenFile(const std::string& path, const char* mode);
// Creates a new file at path and opens it with the C library mode given ("wb", "w+b"); nullptr
// when the name exists already or the file cannot be made, with errno telling why (EEXIST for
// a name that is taken). Never opens or truncates an existing file.
std::FILE* CreateNewFile(const std::string& path, const char* mode);
// True when path names an existing file marked read-only: no write permission for anyone in
// its mode (POSIX; the bits decide, so that a user allowed to write anyway, root, is refused
// too), or the read-only attribute (Windows). Outputs never replace such a file.
bool FileIsReadOnly(const std::string& path);
// Renames the file source onto target, replacing a file already there in one step. False, with
// errno telling why, when it fails; source is then left as it was.
bool MoveFileOver(const std::string& source, const std::string& target);
bool RemoveFolder(const std::string& path);
// Creates a folder only the current user can use, below the system's temporary folder, named
// prefix followed by random characters. Returns its path ending in a separator, or empty.
std::string MakePrivateTempFolder(const std::string& prefix);
// Why the folder cannot take new output files (missing, not a folder, not writable), in the
// system's words; empty when it can.
std::string FolderUnusableReason(const std::string& folder);

// Sets a variable of this process's environment, for libraries that read it later.
bool SetEnvironmentValue(const std::string& name, const std::string& value);

// ---- Memory ---------------------------------------------------------------------------------

// The machine's physical memory in bytes; 0 when it cannot be told.
uint64_t PhysicalMemoryBytes();

// Keeps blocks of up to 32 MiB that the program frees, and up to 64 MiB of free memory, for its
// next allocations instead of handing them back to the system at once: page images and their
// buffers are taken and freed for every page, and fresh memory from the system (cleared and
// mapped page by page) cost a tenth of the CPU of a page image. Call first in main.
void KeepFreedMemoryForReuse();

// ---- Randomness -----------------------------------------------------------------------------

// Fills bytes from the operating system's random source; false when it is unavailable.
bool RandomBytes(unsigned char* bytes, size_t count);

// ---- Interruption ---------------------------------------------------------------------------

// From this call on, an interrupt (SIGINT, SIGTERM, SIGHUP) is handled on a thread of its own:
// every running child process started by StartChildProcess is ended, every registered
// temporary file and folder removed, and the process exits with 128 + the signal number. Call
// first in main, before any thread is started: threads started later inherit the blocked
// signals. A signal this process was started with ignored (nohup, a background job) stays
// ignored. Once the cleanup has begun, the calls below (and StartChildProcess) never return:
// the process is about to exit.
void InstallInterruptCleanup();
// A temporary output removed on interrupt: the file itself and every file beside it whose name
// begins with the file's name followed by a dot (the partial files of a child writing to it).
// Register BEFORE the file (or the child that writes it) is created, so that no interrupt
// falls between the creation and the registration; forget it once it was renamed or removed.
void RegisterTemporaryFile(const std::string& path);
void ForgetTemporaryFile(const std::string& path);
// A private folder removed on interrupt, with every file in it. Register it as soon as it
// exists and before anything is written into it; forget it once it was removed.
void RegisterTemporaryFolder(const std::string& folder);
void ForgetTemporaryFolder(const std::string& folder);

// ---- User-visible messages ------------------------------------------------------------------

// The error message box; on POSIX one line "CAPTION: TEXT" on standard error.
void ShowErrorMessage(const std::string& caption, const std::string& text);
// Shows the help file: copies it to standard output, byte for byte, where someone reads that
// output; only a Windows program alone on a console made for it (started from Explorer, whose
// window would close at once) or without any output opens it with the shell instead.
bool OpenHelpFile(const std::string& path);
// One line on standard error.
void ReportError(const std::string& line);
// Text on standard error as it is (no line end added), in one call, flushed.
void WriteErrorText(const std::string& text);
// True when standard error is a terminal (a console window on Windows), where a line that
// updates itself can be shown.
bool ErrorIsTerminal();
// One line on standard output.
void WriteOutput(const std::string& line);
// Reads at most size bytes of this process's standard input as they come, blocking; 0 at its
// end or on error. Uses no C library stream, so that a thread blocked here never holds a lock
// the rest of the process needs, even while it exits.
size_t ReadStandardInput(char* buffer, size_t size);

// ---- Shared libraries -----------------------------------------------------------------------

// Loads the library file at path; nullptr on failure.
void* LoadLibraryFile(const std::string& path);
// Entry number n of a library: the exported C symbol "mstar_ordinal_<n>" on POSIX.
void* LibraryOrdinal(void* library, int ordinal);
void FreeLibraryFile(void* library);

// ---- Processes ------------------------------------------------------------------------------

// Splits a command-line text into arguments by the Windows rules: blanks separate arguments
// outside double quotes; 2n backslashes before a quote give n backslashes and the quote
// toggles quoting; 2n+1 backslashes give n backslashes and a literal quote; "" inside quotes
// gives a literal quote; other backslashes are literal.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
// Quotes one argument so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(const std::string& argument);

struct ChildProcess {
    int64_t id = -1;        // process id, -1 when none
    intptr_t outputPipe = -1;  // read end of the child's standard output (descriptor or handle)
    intptr_t inputPipe = -1;   // write end of the child's standard input (WriteChildInput)
    int exitCode = -1;      // once ended: its exit code, 128 + signal when a signal ended it
    bool signalled = false;  // once ended: a signal ended it (rather than an exit with a code)
    // Once ended: what ended it when it did not exit by itself, in the system's terms ("signal 11",
    // "exception 0xC0000005", "terminated" when another process ended it on Windows); empty when
    // it exited, or when this process ended it with KillChildProcess.
    std::string crash;
};
// Starts the program named by the first argument (a bare name is looked up in the program's
// own folder, never on the search path) with standard input and output on new pipes and
// standard error inherited, or, with errorIntoOutput, on the output pipe too (the caller then
// tells the lines apart). The child gets this process's environment plus extraEnvironment
// ("NAME=value" each, replacing a variable of the same name). False when a pipe or the process
// could not be created or the program could not be executed. The child is ended when the
// thread that started it ends (or this process, even by SIGKILL): wait for it and end it on
// that thread.
bool StartChildProcess(const std::vector<std::string>& arguments, ChildProcess& child,
                       const std::vector<std::string>& extraEnvironment = {}, bool errorIntoOutput = false);
// Reads at most size bytes from the child's output; 0 at the end of the pipe or on error.
size_t ReadChildOutput(ChildProcess& child, char* buffer, size_t size);
// Writes all of data to the child's standard input; false when it could not (the child has
// ended, or closed its input), which never raises a signal. Not for two threads at once.
bool WriteChildInput(ChildProcess& child, const char* data, size_t size);
// Waits up to timeoutMs for the child's output to have something to read (or to end); false
// when the time ran out.
bool WaitForChildOutput(ChildProcess& child, int timeoutMs);
// Waits up to timeoutMs for the child to end; true when it ended (and was reaped).
bool WaitChildProcess(ChildProcess& child, int timeoutMs);
// Ends the child at once and reaps it.
void KillChildProcess(ChildProcess& child);
// Closes the pipes that are still open.
void CloseChildProcess(ChildProcess& child);

struct ProcessInfo {
    int64_t id = 0;
    int64_t parentId = 0;
    std::string name;  // executable file name as the process list shows it
};
// Every running process of the system that can be seen (ended, unreaped ones left out); with a
// name, only the processes of that exact name.
std::vector<ProcessInfo> ListProcesses(const std::string& onlyName = "");
// Ends a process by id; true when the request was delivered.
bool TerminateProcessById(int64_t id);
int64_t CurrentProcessId();

void SleepMilliseconds(int milliseconds);
// Sleeps up to timeoutMs while value holds expected; returns sooner once another thread has
// changed it and called WakeValueWaiters (spurious early returns are possible).
void WaitWhileValue(const std::atomic<int>& value, int expected, int timeoutMs);
// Wakes every thread in WaitWhileValue on this value.
void WakeValueWaiters(std::atomic<int>& value);

}  // namespace platform

#include "platform/gdi.h"
