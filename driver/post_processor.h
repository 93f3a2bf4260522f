#pragma once
// The PDF post-processing library beside the program, loaded once at start-up.

#include <string>

#include "protocol/postproc_abi.h"

struct PostProcessor {
    void* module = nullptr;
    postproc_abi::PostProcessPdfFn postProcessPdf = nullptr;
    postproc_abi::LastFailureFn lastFailure = nullptr;
};

// 1 when the library loaded, answered the interface version this program was built for and
// has every entry; otherwise shows the error message, frees what was loaded and gives 0.
int LoadPdfPostProcessor(PostProcessor& postProcessor);
void UnloadPdfPostProcessor(PostProcessor& postProcessor);
// Why the latest postProcessPdf call failed, in the library's words; empty when it gave none.
std::string PostProcessFailureReason(const PostProcessor& postProcessor);
