#pragma once
// How a batch shares the machine: how many documents are converted at once, and what each one
// may take of the processors and of the memory budget.

#include <cstdint>
#include <string>
#include <vector>

constexpr unsigned kMaxPageWorkers = 8;
// The image layer's own limit for one page image, in MiB; a worker's share never goes below it.
constexpr uint64_t kImageMemoryFloorMiB = 256;

struct BatchPlan {
    unsigned workers = 1;       // documents converted at once
    unsigned processors = 1;    // the machine's
    uint64_t budgetMiB = 0;     // all workers together; 0 when unknown (no limit)
    bool budgetGiven = false;   // the budget came from the engine memory variable
};

// jobs: the settings' value (0: one per processor); documents: how many there are.
// memorySetting: the engine memory variable's text (nullptr when unset); physicalBytes: 0 when
// unknown. A memory setting that is not a positive number of MiB counts as unset.
BatchPlan PlanBatch(int jobs, size_t documents, unsigned processors, const char* memorySetting,
                    uint64_t physicalBytes);

// One document's shares, while `running` documents (this one included) are converted at once.
struct DocumentShare {
    unsigned threads = 1;                        // for the engine and for the page workers
    unsigned pageWorkers = 1;
    uint64_t memoryMiB = 0;                      // the engine's budget; 0: leave it to the engine
    int32_t imageMemoryMiB = 0;                  // one page image's limit; 0: the image layer's own
    std::vector<std::string> engineEnvironment;  // what tells the engine these shares
};
DocumentShare ShareFor(const BatchPlan& plan, unsigned running);
