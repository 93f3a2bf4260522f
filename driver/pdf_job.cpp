#include "driver/pdf_job.h"

#include <cstdio>

#include "conversion/failure_text.h"
#include "driver/messages.h"
#include "driver/renderer.h"
#include "platform/platform.h"
#include "platform/replacement_file.h"
#include "settings/converter_message.h"
#include "protocol/engine_protocol.h"

namespace {

constexpr size_t kOwnerPasswordBytes = 16;

bool StartsLikeAPdf(const std::string& path) {
    std::FILE* file = platform::OpenFile(path, "rb");
    if (file == nullptr) return false;
    char head[5] = {};
    const bool read = std::fread(head, 1, sizeof(head), file) == sizeof(head);
    std::fclose(file);
    return read && std::string(head, sizeof(head)) == "%PDF-";
}

void Fail(DocumentContext& context, const std::string& inputPath, const std::string& what) {
    context.log.Add(ConverterMessage(inputPath + ": " + what));
}

}  // namespace

std::string FreshOwnerPassword() {
    unsigned char bytes[kOwnerPasswordBytes];
    if (!platform::RandomBytes(bytes, sizeof(bytes))) return std::string();
    std::string password;
    for (unsigned char byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof(digits), "%02x", byte);
        password += digits;
    }
    return password;
}

std::string BuildPdfCommandLine(const std::string& inputPath, const std::string& outputPath,
                                const Settings& settings, const std::string& defaultOwnerPassword) {
    protocol::EngineRequest request;
    request.device = protocol::Device::PdfWrite;
    request.outputFile = outputPath;
    if (settings.pdfEncrypt) {
        protocol::SecurityRequest& security = request.security.emplace();
        security.ownerPassword =
            settings.pdfOwnerPassword.empty() ? defaultOwnerPassword : settings.pdfOwnerPassword;
        security.userPassword = settings.pdfUserPassword;
        // AES-256 is revision 6 of the standard security handler; RC4 keys stay revision 3.
        security.revision = settings.pdfKeyLength == 256 ? 6 : 3;
        security.keyBits = settings.pdfKeyLength;
        security.permissions = protocol::kAllPermissions - settings.pdfRestrictions;
    }
    const auto inform = [&](const char* key, const std::string& value) {
        if (!value.empty()) request.info.push_back({key, value});
    };
    inform("Creator", settings.pdfCreator);
    inform("Producer", settings.pdfProducer.empty() ? kProductText : settings.pdfProducer);
    inform("Title", settings.pdfTitle);
    inform("Author", settings.pdfAuthor);
    inform("Subject", settings.pdfSubject);
    inform("Keywords", settings.pdfKeywords);
    request.inputPath = inputPath;
    return std::string(kRendererFileName) + " " + protocol::FormatEngineArguments(request);
}

bool RunPdfJob(const std::string& inputPath, const std::string& outputPath, const Settings& settings,
               const PostProcessor& postProcessor, DocumentContext& context) {
    std::string ownerPassword;
    if (settings.pdfEncrypt && settings.pdfOwnerPassword.empty()) {
        ownerPassword = FreshOwnerPassword();
        if (ownerPassword.empty()) {
            Fail(context, inputPath, "no random owner password could be made; not converted");
            return false;
        }
    }
    // The engine and the post-processor work on a file of our own beside the target: a failed
    // or concurrent run never touches the file of the target's name.
    platform::ReplacementFile output;
    if (!output.Create(outputPath, "wb") || !output.Close()) {
        Fail(context, inputPath, "cannot create a file beside " + outputPath);
        return false;
    }
    const std::string temporary = output.path();

    bool engineSucceeded = false;
    int engineExit = -1;
    const std::string commandLine = BuildPdfCommandLine(inputPath, temporary, settings, ownerPassword);
    EngineEnd end;
    RendererOptions options;
    options.end = &end;
    options.log = &context.log;
    options.extraEnvironment = context.engineEnvironment;
    options.pageDone = [&context](int page) {
        context.pages = page;
        if (context.pageDone) context.pageDone(page);
    };
    if (RunRenderer(commandLine, &engineSucceeded, &engineExit, options) != 1) {
        Fail(context, inputPath, "the rendering engine could not be started");
        return false;
    }
    if (engineExit == protocol::kEngineNothingWritten) {
        Fail(context, inputPath, "the document could not be read; no PDF was written");
        return false;
    }
    if (!StartsLikeAPdf(temporary)) {
        context.log.Add(ConverterMessage(EngineEndMessage(end, inputPath, "no PDF was written")));
        return false;
    }
    if (postProcessor.postProcessPdf != nullptr) {
        std::unique_lock<std::mutex> serialised;
        if (context.postProcessorLock != nullptr) serialised = std::unique_lock(*context.postProcessorLock);
        const int stamped = postProcessor.postProcessPdf(
            temporary.c_str(), settings.pdfOwnerPassword.c_str(), settings.pdfUserPassword.c_str(),
            settings.pdfEncrypt, kProductText, settings.overlayEnabled, settings.overlayText.c_str(),
            settings.overlayColor, settings.overlaySize, -settings.overlayPosition, settings.overlayRotation,
            settings.overlayX, settings.overlayY, settings.overlayFlag);
        if (stamped != 1) {
            const std::string reason = PostProcessFailureReason(postProcessor);
            Fail(context, inputPath, "the text overlay could not be added" + (reason.empty() ? "" : ": " + reason) +
                                "; no PDF was written");
            return false;
        }
    }
    if (!output.Commit()) {
        Fail(context, inputPath, platform::FileIsReadOnly(outputPath)
                                     ? "not converted: " + ReadOnlyText(outputPath)
                                     : "the PDF could not be renamed to " + outputPath);
        return false;
    }
    context.AddOutput(outputPath);
    // The engine keeps page numbers whole when a page fails, so the PDF is kept but incomplete.
    if (!engineSucceeded)
        context.log.Add(ConverterMessage(EngineEndMessage(end, inputPath, "some pages could not be rendered completely")));
    return engineSucceeded;
}
