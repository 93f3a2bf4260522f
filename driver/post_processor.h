#pragma once
// The PDF post-processing library beside the program, loaded once at start-up.

// Entry 2: stamps the overlay into a finished PDF. Returns 1 on success, 0 on failure.
using PostProcessPdfFunction = int (*)(const char* outputFile, const char* ownerPassword,
                                       const char* userPassword, int encryptFlag,
                                       const char* productText, int overlayOn,
                                       const char* overlayText, int overlayColor, int overlaySize,
                                       int overlayPosition, int overlayRotation, int overlayX,
                                       int overlayY, int overlayFlag);

constexpr const char* kPostProcessorFileName = "mstar.dll";

struct PostProcessor {
    void* module = nullptr;
    void* versionEntry = nullptr;  // entry 1: looked up, never called
    PostProcessPdfFunction postProcessPdf = nullptr;
};

// 1 when the library loaded and both entries were found; otherwise shows the error message,
// frees what was loaded and gives 0.
int LoadPdfPostProcessor(PostProcessor& postProcessor);
void UnloadPdfPostProcessor(PostProcessor& postProcessor);
