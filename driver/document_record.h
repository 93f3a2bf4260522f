#pragma once
// What became of one document of a batch, and of the whole batch.

#include <string>
#include <vector>

enum class DocumentStatus { kConverted, kPartial, kFailed, kSkipped };

// "converted", "partial", "failed" or "skipped".
const char* StatusName(DocumentStatus status);

struct DocumentRecord {
    std::string input;
    DocumentStatus status = DocumentStatus::kFailed;
    std::vector<std::string> outputs;   // sorted
    int pages = 0;                      // pages the engine finished (or counted, when skipped)
    double seconds = 0;
    std::vector<std::string> messages;  // as shown on standard error
};

struct BatchTotals {
    int documents = 0;
    int converted = 0;
    int partial = 0;
    int failed = 0;
    int skipped = 0;
    int files = 0;  // outputs written (not those of skipped documents)
    double seconds = 0;

    void Count(const DocumentRecord& record);
};

// One JSON object per line (no line end): the document's record, and the batch's totals.
std::string DocumentReportLine(const DocumentRecord& record);
std::string SummaryReportLine(const BatchTotals& totals);
// "40 documents: 38 converted, 1 partial, 1 failed; 646 files in 41.2 s" (the kinds with none
// left out, except converted).
std::string SummaryText(const BatchTotals& totals);
