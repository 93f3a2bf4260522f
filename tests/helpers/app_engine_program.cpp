// A stand-in for the rendering engine, copied beside a copy of the converter under the engine's
// name. The converter passes it the engine's arguments, so what it does comes from its
// environment, which the converter hands on; it names its mode on standard error first:
//   XPSCONV_TEST_ENGINE=crash        ends with abort()
//   XPSCONV_TEST_ENGINE=segv         ends by SIGSEGV (on Windows by an access violation, a
//       store through a null pointer)
//   XPSCONV_TEST_ENGINE=sleep MS     stays alive for MS ms with standard output open, silent
//   XPSCONV_TEST_ENGINE=exit CODE    exits with CODE at once, having written nothing
//   XPSCONV_TEST_ENGINE=partial MS   starts its output file as the real engine does, under the
//       temporary name beside it, with a few bytes, and keeps it unfinished for MS ms
//   XPSCONV_TEST_ENGINE=relay        runs the real engine (XPSCONV_TEST_REAL_ENGINE) with its
//       page images going to the folder XPSCONV_TEST_RELAY_FOLDER instead, then hands the pages
//       over itself, one at a time and 300 ms apart, each announced as the engine does once it
//       is in place, page 3 cut short to 60 bytes so that it cannot be read; before each page it
//       appends to the file XPSCONV_TEST_RELAY_LOG how many page images are waiting in the
//       converter's page folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/replacement_file.h"
#include "protocol/engine_protocol.h"
#include "tests/helpers/end_by_fault.h"

namespace fs = std::filesystem;

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

int CountPageImages(const fs::path& folder) {
    int count = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == ".bmp") ++count;
    return count;
}

std::string OutputFile(int argc, char** argv) {
    const std::string outputOption = "-sOutputFile=";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind(outputOption, 0) == 0) return argument.substr(outputOption.size());
    }
    return std::string();
}

// The engine's own naming, so that the converter's cleanup is tried on the name it must clear.
int KeepPartialFile(int argc, char** argv, long milliseconds) {
    const std::string output = OutputFile(argc, argv);
    if (output.empty()) return 90;
    platform::ReplacementFile partial;
    if (!partial.Create(output, "wb", ".part") ||
        std::fputs("%PDF-1.7\n%unfinished\n", partial.stream()) < 0 || !partial.Close()) {
        return 93;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return 0;
}

int Relay(int argc, char** argv) {
    const std::string real = Variable("XPSCONV_TEST_REAL_ENGINE");
    const fs::path side = Variable("XPSCONV_TEST_RELAY_FOLDER");
    const std::string log = Variable("XPSCONV_TEST_RELAY_LOG");
    const std::string outputOption = "-sOutputFile=";
    std::vector<std::string> arguments = {real};
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind(outputOption, 0) == 0) {
            output = argument.substr(outputOption.size());
            arguments.push_back(outputOption + (side / "p_%03d.bmp").string());
        } else {
            arguments.push_back(argument);
        }
    }
    if (real.empty() || side.empty() || output.empty()) return 90;
    // The pages are handed over here: the real engine must not wait for them to be taken.
    platform::ChildProcess engine;
    if (!platform::StartChildProcess(arguments, engine, {std::string(protocol::kPageBacklogVariable) + "="}))
        return 91;
    char buffer[4096];
    while (platform::ReadChildOutput(engine, buffer, sizeof(buffer)) > 0) {
    }
    platform::WaitChildProcess(engine, 600000);
    platform::CloseChildProcess(engine);
    if (engine.exitCode != 0) return engine.exitCode;

    std::vector<fs::path> pages;
    for (const auto& entry : fs::directory_iterator(side)) pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    const fs::path pageFolder = fs::path(output).parent_path();
    int number = 1;
    for (const fs::path& page : pages) {
        if (std::FILE* file = std::fopen(log.c_str(), "a")) {
            std::fprintf(file, "%d\n", CountPageImages(pageFolder));
            std::fclose(file);
        }
        char target[1024];
        std::snprintf(target, sizeof(target), output.c_str(), number);
        const std::string part = std::string(target) + ".part";
        std::ifstream in(page, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (number == 3) bytes.resize(std::min<size_t>(bytes.size(), 60));
        std::ofstream(part, std::ios::binary) << bytes;
        std::error_code error;
        fs::rename(part, target, error);
        if (error) return 92;
        std::fputs(protocol::PageDoneLine(number).c_str(), stdout);
        std::fflush(stdout);
        ++number;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = Variable("XPSCONV_TEST_ENGINE");
    const size_t blank = mode.find(' ');
    const std::string word = mode.substr(0, blank);
    const long value = blank == std::string::npos ? 0 : std::strtol(mode.c_str() + blank, nullptr, 10);
    // Told on standard error (which the converter passes on), so that a test sees it was obeyed.
    std::fprintf(stderr, "app_engine_program: %s\n", mode.c_str());
    std::fflush(stderr);
    if (word == "crash") std::abort();
    if (word == "segv") {
        EndByFault();
    }
    if (word == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(value));
        return 0;
    }
    if (word == "exit") return static_cast<int>(value);
    if (word == "partial") return KeepPartialFile(argc, argv, value);
    if (word == "relay") return Relay(argc, argv);
    return 64;
}
