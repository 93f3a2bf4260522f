#include <string>

#include "app/run_program.h"

int main(int argc, char** argv) {
    return RunProgram(JoinArguments(argc - 1, argv + 1));
}
