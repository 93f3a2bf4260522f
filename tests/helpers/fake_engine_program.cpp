// A stand-in for the rendering engine that misbehaves on request, for the runner's tests.
//   fake_engine_program flood BYTES      writes BYTES bytes to standard output, exits 0
//   fake_engine_program exit CODE [MS]   exits with CODE; with MS, first writes "running" and
//                                        waits MS ms
//   fake_engine_program linger MS        closes standard output, then stays alive for MS ms
//   fake_engine_program sleep MS         stays alive for MS ms with standard output open
//   fake_engine_program args FILE ...    writes its arguments, one per line, to FILE
//   fake_engine_program crash            ends with an abort signal
//   fake_engine_program segv             ends by SIGSEGV, or by an access violation (a store
//                                        through a null pointer) on Windows
//   fake_engine_program tick COUNT MS    writes COUNT progress lines, MS apart, exits 0
//   fake_engine_program spawn PROGRAM MS PIDFILE
//                                        starts PROGRAM sleep MS as its own child (on POSIX
//                                        through a shell that replaces itself with it, on Windows
//                                        as "child" does), writes the child's id to PIDFILE and
//                                        waits for the child's end
//   fake_engine_program child PROGRAM MS PIDFILE
//                                        the same, the child started as the converter starts its
//                                        engine (platform::StartChildProcess)
//   fake_engine_program rewrite FILE     writes FILE afresh, over and over, for ever
//   fake_engine_program env              writes its environment, one entry per line
//   fake_engine_program getenv NAME      writes "[VALUE]" of one variable, "<unset>" without it
//   fake_engine_program converse COUNT   announces page 1, and each next page once its standard
//                                        input says the last one was taken, a line of other
//                                        talk before each; exits 0 after page COUNT was taken, 1
//                                        when its input ends before
// Arguments after those a mode reads are ignored: a test may add one to tell its process apart.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "protocol/engine_protocol.h"
#include "tests/helpers/end_by_fault.h"

#ifdef _WIN32
// The C runtime's copy of the environment, as the system handed it to this process.
#define FAKE_ENGINE_ENVIRONMENT _environ
#else
extern char** environ;
#define FAKE_ENGINE_ENVIRONMENT environ
#endif

namespace {

// Starts PROGRAM sleep MS as a child the way the converter starts its engine, writes the child's
// id to PIDFILE (complete, under a temporary name first) and waits for the child's end.
int StartSleepingChild(const std::string& program, const std::string& milliseconds, const std::string& pidFile) {
    platform::ChildProcess child;
    if (!platform::StartChildProcess({program, "sleep", milliseconds}, child)) return 1;
    const std::string temporary = pidFile + ".tmp";
    if (std::FILE* file = std::fopen(temporary.c_str(), "w")) {
        std::fprintf(file, "%lld\n", static_cast<long long>(child.id));
        std::fclose(file);
    }
    std::rename(temporary.c_str(), pidFile.c_str());
    while (!platform::WaitChildProcess(child, 60000)) {
    }
    platform::CloseChildProcess(child);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 0;
    const std::string mode = argv[1];
    const long value = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
    if (mode == "flood") {
        std::string chunk(1000, 'x');
        for (long written = 0; written < value; written += 1000) std::fwrite(chunk.data(), 1, chunk.size(), stdout);
        return 0;
    }
    if (mode == "exit") {
        if (argc > 3) {
            std::printf("running\n");
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::strtol(argv[3], nullptr, 10)));
        }
        return static_cast<int>(value);
    }
    if (mode == "linger") {
        std::fclose(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(value));
        return 0;
    }
    if (mode == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(value));
        return 0;
    }
    if (mode == "args" && argc > 2) {
        std::FILE* file = std::fopen(argv[2], "w");
        if (file == nullptr) return 1;
        for (int i = 3; i < argc; ++i) std::fprintf(file, "%s\n", argv[i]);
        std::fclose(file);
        return 0;
    }
    if (mode == "crash") std::abort();
    if (mode == "segv") {
        EndByFault();
        return 0;
    }
    if (mode == "tick" && argc > 3) {
        const long pause = std::strtol(argv[3], nullptr, 10);
        for (long i = 1; i <= value; ++i) {
            std::printf("page %ld\n", i);
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        }
        return 0;
    }
    if (mode == "rewrite" && argc > 2) {
        while (true) {
            if (std::FILE* file = std::fopen(argv[2], "w")) std::fclose(file);
        }
    }
    if (mode == "child" && argc > 4) return StartSleepingChild(argv[2], argv[3], argv[4]);
    if (mode == "spawn" && argc > 4) {
#ifdef _WIN32
        // No shell to go through: the program is started directly.
        return StartSleepingChild(argv[2], argv[3], argv[4]);
#else
        // "exec": the program takes the shell's place (and id), so it is this process's child.
        const std::string command = "echo $$ > '" + std::string(argv[4]) + "'; exec '" + argv[2] + "' sleep " + argv[3];
        return std::system(command.c_str()) == 0 ? 0 : 1;
#endif
    }
    if (mode == "env") {
        for (char** entry = FAKE_ENGINE_ENVIRONMENT; entry != nullptr && *entry != nullptr; ++entry)
            std::printf("%s\n", *entry);
        return 0;
    }
    if (mode == "converse") {
        protocol::PageLineReader taken(protocol::kPageTakenWord);
        int announced = 0;
        bool done = false;
        const auto announce = [&] {
            std::printf("waiting until page files are taken (%d in place)\n", announced);
            std::fputs(protocol::PageDoneLine(++announced).c_str(), stdout);
            std::fflush(stdout);
        };
        announce();
        char buffer[16];
        for (size_t count; !done && (count = platform::ReadStandardInput(buffer, sizeof buffer)) > 0;) {
            taken.Read(buffer, count, [&](int page) {
                if (page != announced) return;
                if (page == value) done = true; else announce();
            });
        }
        return done ? 0 : 1;
    }
    if (mode == "getenv" && argc > 2) {
        const char* found = std::getenv(argv[2]);
        if (found == nullptr) {
            std::printf("<unset>\n");
        } else {
            std::printf("[%s]\n", found);
        }
        return 0;
    }
    return 0;
}
