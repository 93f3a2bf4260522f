#pragma once
// What the conversion of one document is given beside the settings, and what it gives back
// beside its success: the lines it said, the files it wrote, the pages it saw.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "driver/document_log.h"

struct DocumentContext {
    // Shares of the machine while several documents are converted at once.
    std::vector<std::string> engineEnvironment;  // "NAME=value" each, for every engine run
    unsigned pageWorkers = 1;                    // threads converting page files
    int32_t imageMemoryMiB = 0;                  // one page image's limit; 0: the image layer's own
    // The post-processor keeps its last failure in a static: one call at a time, and the
    // reason read before the next call.
    std::mutex* postProcessorLock = nullptr;
    // Called on the engine runner's thread with every page the engine finished.
    std::function<void(int page)> pageDone;

    DocumentLog log;
    std::mutex outputsMutex;
    std::vector<std::string> outputs;  // files written, in no particular order
    int pages = 0;                     // pages the engine finished

    void AddOutput(const std::string& path) {
        std::lock_guard lock(outputsMutex);
        outputs.push_back(path);
    }
};
