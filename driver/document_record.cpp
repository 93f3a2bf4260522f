#include "driver/document_record.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "platform/platform.h"

namespace {

using Json = nlohmann::ordered_json;

// JSON text is UTF-8: paths and messages in the system's code page are converted, and a byte
// that is no character becomes U+FFFD rather than ending the report.
std::string Utf8(const std::string& text) {
    const std::string converted = platform::ArgumentTextAsUtf8(text);
    return converted.empty() ? text : converted;
}

Json Texts(const std::vector<std::string>& texts) {
    Json list = Json::array();
    for (const std::string& text : texts) list.push_back(Utf8(text));
    return list;
}

double Rounded(double seconds) { return static_cast<double>(static_cast<long long>(seconds * 1000 + 0.5)) / 1000; }

std::string Dump(const Json& object) {
    try {
        return object.dump(-1, ' ', false, Json::error_handler_t::replace);
    } catch (...) {
        return "{}";
    }
}

}  // namespace

const char* StatusName(DocumentStatus status) {
    switch (status) {
        case DocumentStatus::kConverted: return "converted";
        case DocumentStatus::kPartial: return "partial";
        case DocumentStatus::kSkipped: return "skipped";
        case DocumentStatus::kFailed: break;
    }
    return "failed";
}

void BatchTotals::Count(const DocumentRecord& record) {
    ++documents;
    switch (record.status) {
        case DocumentStatus::kConverted: ++converted; break;
        case DocumentStatus::kPartial: ++partial; break;
        case DocumentStatus::kFailed: ++failed; break;
        case DocumentStatus::kSkipped: ++skipped; return;
    }
    files += static_cast<int>(record.outputs.size());
}

std::string DocumentReportLine(const DocumentRecord& record) {
    Json line;
    line["input"] = Utf8(record.input);
    line["status"] = StatusName(record.status);
    line["outputs"] = Texts(record.outputs);
    line["pages"] = record.pages;
    line["seconds"] = Rounded(record.seconds);
    line["messages"] = Texts(record.messages);
    return Dump(line);
}

std::string SummaryReportLine(const BatchTotals& totals) {
    Json line;
    line["summary"] = true;
    line["documents"] = totals.documents;
    line["converted"] = totals.converted;
    line["partial"] = totals.partial;
    line["failed"] = totals.failed;
    line["skipped"] = totals.skipped;
    line["files"] = totals.files;
    line["seconds"] = Rounded(totals.seconds);
    return Dump(line);
}

std::string SummaryText(const BatchTotals& totals) {
    std::string text = std::to_string(totals.documents) + (totals.documents == 1 ? " document: " : " documents: ") +
                       std::to_string(totals.converted) + " converted";
    if (totals.partial > 0) text += ", " + std::to_string(totals.partial) + " partial";
    if (totals.failed > 0) text += ", " + std::to_string(totals.failed) + " failed";
    if (totals.skipped > 0) text += ", " + std::to_string(totals.skipped) + " skipped";
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.1f", totals.seconds);
    return text + "; " + std::to_string(totals.files) + (totals.files == 1 ? " file in " : " files in ") + seconds + " s";
}
