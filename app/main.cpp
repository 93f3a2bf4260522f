#include "app/run_program.h"

int main(int argc, char** argv) { return RunProgramOnArguments(argc - 1, argv + 1); }
