#pragma once
// The one place where the documents of a batch, converted on several threads, meet: each
// finished document's lines are shown as one block, its report line written, and the totals
// counted; on a terminal one line shows how far the batch is.

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "driver/document_record.h"

class BatchRecorder {
  public:
    // total: the documents of the batch. With showProgress the updating line is drawn.
    BatchRecorder(int total, bool showProgress);
    ~BatchRecorder();
    BatchRecorder(const BatchRecorder&) = delete;
    BatchRecorder& operator=(const BatchRecorder&) = delete;

    // Starts the report file (emptied first). False, with the system's reason, when it cannot
    // be written.
    bool OpenReport(const std::string& path, std::string& reason);

    // A document has started; the number names it in PageDone.
    void Started(int number, const std::string& input);
    void PageDone(int number, int page);
    // A document has ended: its lines on standard error in one block, its report line written
    // and flushed, the totals counted.
    void Finished(int number, const DocumentRecord& record);
    // The end of the batch: the progress line cleared, the summary object written to the
    // report, and (withSummaryLine) the summary on standard error. Returns the totals.
    BatchTotals Finish(bool withSummaryLine);

    int Unfinished() const;

  private:
    void ClearProgress();
    void DrawProgress(bool now);

    mutable std::mutex mutex_;
    const int total_;
    const bool showProgress_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn_{};
    std::FILE* report_ = nullptr;
    BatchTotals totals_;
    std::map<int, std::pair<std::string, int>> running_;  // number -> file name, last page
    size_t progressWidth_ = 0;                             // characters of the progress line shown
};
