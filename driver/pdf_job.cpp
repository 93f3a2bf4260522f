#include "driver/pdf_job.h"

#include "app/file_helpers.h"
#include "driver/messages.h"
#include "driver/renderer.h"
#include "platform/platform.h"

namespace {

void AppendInformation(std::string& line, const char* key, const std::string& value) {
    line += std::string("-w") + key + "=" + platform::QuoteArgument("(" + value + ")") + " ";
}

}  // namespace

std::string BuildPdfCommandLine(const std::string& inputPath, const std::string& outputPath,
                                const Settings& settings) {
    std::string line = std::string(kRendererFileName) + " ";
    line += "-sDEVICE=pdfwrite -dNOPAUSE -dBATCH -dSAFER ";
    line += "-sOutputFile=" + platform::QuoteArgument(outputPath) + " ";
    if (settings.pdfEncrypt) {
        const std::string owner =
            settings.pdfOwnerPassword.empty() ? kDefaultOwnerPassword : settings.pdfOwnerPassword;
        line += "-sOwnerPassword=" + platform::QuoteArgument(owner) + " ";
        if (!settings.pdfUserPassword.empty())
            line += "-sUserPassword=" + platform::QuoteArgument(settings.pdfUserPassword) + " ";
        line += "-dEncryptionR=3 ";
        line += "-dKeyLength=" + std::to_string(settings.pdfKeyLength) + " ";
        line += "-dPermissions=" + std::to_string(60 - settings.pdfRestrictions) + " ";
    }
    if (!settings.pdfCreator.empty()) AppendInformation(line, "Creator", settings.pdfCreator);
    AppendInformation(line, "Producer", settings.pdfProducer.empty() ? kProductText : settings.pdfProducer);
    if (!settings.pdfTitle.empty()) AppendInformation(line, "Title", settings.pdfTitle);
    if (!settings.pdfAuthor.empty()) AppendInformation(line, "Author", settings.pdfAuthor);
    if (!settings.pdfSubject.empty()) AppendInformation(line, "Subject", settings.pdfSubject);
    if (!settings.pdfKeywords.empty()) AppendInformation(line, "Keywords", settings.pdfKeywords);
    line += platform::QuoteArgument(inputPath) + " ";
    return line;
}

bool RunPdfJob(const std::string& inputPath, const std::string& outputPath, const Settings& settings,
               const PostProcessor& postProcessor) {
    bool engineSucceeded = false;
    if (RunRenderer(BuildPdfCommandLine(inputPath, outputPath, settings), &engineSucceeded) != 1) {
        platform::ReportError("xpsconv: " + inputPath + ": the rendering engine could not be started");
        return false;
    }
    if (!platform::FileReadable(outputPath)) {
        platform::ReportError("xpsconv: " + inputPath + ": no PDF was written");
        return false;
    }
    // The engine keeps page numbers whole when a page fails, so the PDF is kept but incomplete.
    if (!engineSucceeded)
        platform::ReportError("xpsconv: " + inputPath + ": some pages could not be rendered completely");
    if (postProcessor.postProcessPdf == nullptr) return engineSucceeded;
    const int stamped = postProcessor.postProcessPdf(
        outputPath.c_str(), settings.pdfOwnerPassword.c_str(), settings.pdfUserPassword.c_str(),
        settings.pdfEncrypt, kProductText, settings.overlayEnabled, settings.overlayText.c_str(),
        settings.overlayColor, settings.overlaySize, -settings.overlayPosition, settings.overlayRotation,
        settings.overlayX, settings.overlayY, settings.overlayFlag);
    if (stamped != 1) {
        platform::ReportError("xpsconv: " + inputPath + ": the text overlay could not be added");
        return false;
    }
    return engineSucceeded;
}
