// A stand-in for the rendering engine that misbehaves on request, for the runner's tests.
//   fake_engine_program flood BYTES      writes BYTES bytes to standard output, exits 0
//   fake_engine_program exit CODE        exits with CODE
//   fake_engine_program linger MS        closes standard output, then stays alive for MS ms
//   fake_engine_program sleep MS         stays alive for MS ms with standard output open
//   fake_engine_program args FILE ...    writes its arguments, one per line, to FILE
//   fake_engine_program crash            ends with an abort signal
//   fake_engine_program tick COUNT MS    writes COUNT progress lines, MS apart, exits 0
//   fake_engine_program spawn PROGRAM MS PIDFILE
//                                        starts PROGRAM sleep MS as its own child (through a
//                                        shell that replaces itself with it), writes the child's
//                                        id to PIDFILE and waits for the child's end
//   fake_engine_program rewrite FILE     writes FILE afresh, over and over, for ever
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 2) return 0;
    const std::string mode = argv[1];
    const long value = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
    if (mode == "flood") {
        std::string chunk(1000, 'x');
        for (long written = 0; written < value; written += 1000) std::fwrite(chunk.data(), 1, chunk.size(), stdout);
        return 0;
    }
    if (mode == "exit") return static_cast<int>(value);
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
    if (mode == "spawn" && argc > 4) {
        // "exec": the program takes the shell's place (and id), so it is this process's child.
        const std::string command = "echo $$ > '" + std::string(argv[4]) + "'; exec '" + argv[2] + "' sleep " + argv[3];
        return std::system(command.c_str()) == 0 ? 0 : 1;
    }
    return 0;
}
