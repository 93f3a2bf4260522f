// proc.dll: the rendering engine. Reads one XPS document and writes it as a PDF file or as
// one BMP file per page. Exit status 0 when everything was written, 1 otherwise; one line on
// standard error per problem. Standard input is never read.

#include <string>
#include <vector>

#include "engine/engine_errors.h"
#include "engine/engine_options.h"
#include "engine/library_locks.h"
#include "engine/pdf_output.h"
#include "engine/raster_output.h"
#include "engine/xps_source.h"

namespace {

bool Convert(fz_context* ctx, const engine::EngineOptions& options) {
    std::string error;
    fz_document* doc = engine::OpenXpsDocument(ctx, options.inputPath, error);
    if (!doc) {
        engine::ReportError("cannot open " + options.inputPath + ": " + error);
        return false;
    }
    bool ok = false;
    int pageCount = engine::CountDocumentPages(ctx, doc, error);
    if (pageCount < 0) {
        engine::ReportError("cannot read the pages of " + options.inputPath + ": " + error);
    } else if (pageCount == 0) {
        engine::ReportError(options.inputPath + " has no pages");
    } else if (options.device == engine::OutputDevice::PdfWrite) {
        ok = engine::WritePdf(ctx, doc, pageCount, options);
    } else {
        ok = engine::WritePageBitmaps(ctx, doc, pageCount, options);
    }
    fz_drop_document(ctx, doc);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    engine::ParseResult parsed = engine::ParseEngineArguments(arguments);
    for (const std::string& error : parsed.errors) engine::ReportError(error);
    if (!parsed.errors.empty()) return 1;

    // Locks cost a little on every shared object, so only page images drawn on several
    // threads get them.
    engine::LibraryLocks locks;
    const bool threaded = parsed.options.device == engine::OutputDevice::Bmp16m &&
                          engine::PageRenderingThreads(parsed.options) > 1;
    fz_context* ctx = engine::NewQuietContext(threaded ? locks.Callbacks() : nullptr);
    if (!ctx) {
        engine::ReportError("cannot create the rendering context");
        return 1;
    }
    bool ok = Convert(ctx, parsed.options);
    fz_drop_context(ctx);
    return ok ? 0 : 1;
}
