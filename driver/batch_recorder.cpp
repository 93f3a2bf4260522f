#include "driver/batch_recorder.h"

#include <cerrno>
#include <cstring>

#include "driver/path_parts.h"
#include "platform/platform.h"

namespace {

// Short enough for any terminal: a line that wraps could not be drawn over.
constexpr size_t kProgressWidth = 79;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

}  // namespace

BatchRecorder::BatchRecorder(int total, bool showProgress) : total_(total), showProgress_(showProgress) {}

BatchRecorder::~BatchRecorder() {
    if (report_ != nullptr) std::fclose(report_);
}

bool BatchRecorder::OpenReport(const std::string& path, std::string& reason) {
    std::lock_guard lock(mutex_);
    errno = 0;
    report_ = platform::OpenFile(path, "wb");
    if (report_ == nullptr) reason = errno != 0 ? std::strerror(errno) : "it cannot be created";
    return report_ != nullptr;
}

void BatchRecorder::Started(int number, const std::string& input) {
    std::lock_guard lock(mutex_);
    running_[number] = {SplitPath(input).baseName, 0};
    DrawProgress(false);
}

void BatchRecorder::PageDone(int number, int page) {
    std::lock_guard lock(mutex_);
    const auto found = running_.find(number);
    if (found == running_.end()) return;
    found->second.second = page;
    DrawProgress(false);
}

void BatchRecorder::Finished(int number, const DocumentRecord& record) {
    std::lock_guard lock(mutex_);
    running_.erase(number);
    totals_.Count(record);
    if (!record.messages.empty()) {
        ClearProgress();
        std::string block;
        for (const std::string& line : record.messages) block += line + "\n";
        platform::WriteErrorText(block);
    }
    if (report_ != nullptr) {
        const std::string line = DocumentReportLine(record) + "\n";
        // Flushed at once: a run that is killed leaves whole lines only.
        std::fwrite(line.data(), 1, line.size(), report_);
        std::fflush(report_);
    }
    DrawProgress(true);
}

BatchTotals BatchRecorder::Finish(bool withSummaryLine) {
    std::lock_guard lock(mutex_);
    ClearProgress();
    totals_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (report_ != nullptr) {
        const std::string line = SummaryReportLine(totals_) + "\n";
        std::fwrite(line.data(), 1, line.size(), report_);
        std::fclose(report_);
        report_ = nullptr;
    }
    if (withSummaryLine) platform::ReportError(SummaryText(totals_));
    return totals_;
}

int BatchRecorder::Unfinished() const {
    std::lock_guard lock(mutex_);
    return total_ - totals_.documents;
}

void BatchRecorder::ClearProgress() {
    if (progressWidth_ == 0) return;
    std::string blank(1, '\r');
    blank.append(progressWidth_, ' ');
    blank.push_back('\r');
    platform::WriteErrorText(blank);
    progressWidth_ = 0;
}

void BatchRecorder::DrawProgress(bool now) {
    if (!showProgress_) return;
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - lastDrawn_ < kProgressInterval) return;
    lastDrawn_ = time;
    std::string line = std::to_string(totals_.documents) + "/" + std::to_string(total_) + " documents";
    const char* separator = ": ";
    for (const auto& [number, state] : running_) {
        line += separator + state.first + " p. " + std::to_string(state.second);
        separator = ", ";
    }
    if (line.size() > kProgressWidth) {
        line.resize(kProgressWidth - 3);
        line.append("...");
    }
    // Drawn over the line before; what it had beyond this one is blanked out.
    std::string text(1, '\r');
    text.append(line);
    if (line.size() < progressWidth_) {
        text.append(progressWidth_ - line.size(), ' ');
        text.push_back('\r');
        text.append(line);
    }
    platform::WriteErrorText(text);
    progressWidth_ = line.size();
}
