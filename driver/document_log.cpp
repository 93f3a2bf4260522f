#include "driver/document_log.h"

#include "settings/converter_message.h"

void DocumentLog::Add(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (bytes_ + line.size() > kMaxBytes) {
        ++leftOut_;
        return;
    }
    bytes_ += line.size();
    lines_.push_back(line);
}

std::vector<std::string> DocumentLog::Lines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines = lines_;
    if (leftOut_ > 0) lines.push_back(ConverterMessage(std::to_string(leftOut_) + " more lines left out"));
    return lines;
}
