// proc.dll: the rendering engine. Reads one XPS document and writes it as a PDF file or as
// one BMP file per page. Exit status (protocol/engine_protocol.h):
//   0  everything was written;
//   1  the output was written, but some pages are incomplete (each still written, as far as it
//      was drawn, so that page numbers stay as in the document), or the output could not be
//      written, or the engine could not set itself up;
//   2  nothing was written: the document could not be opened or read (not a package, no
//      document in it, no pages, its page count unreadable), or the arguments are unusable.
// Standard output announces every finished page ("page N"); standard input is read only with a
// page backlog, for the converter's word that it has taken a page's file.
// Standard error gets one line per problem, and one per thing the library left out of a page
// ("proc.dll: DOCUMENT: page N: MESSAGE", in page order).
//
// The library's memory is bounded (memory_budget.h): by XPSCONV_ENGINE_MEMORY, in MiB, else by
// half of physical memory; the JPEG decoder's by the same amount. A page that needs more fails
// alone, is written as far as it was drawn and is reported as out of memory.

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/runtime/engine_errors.h"
#include "engine/runtime/engine_options.h"
#include "engine/runtime/library_locks.h"
#include "engine/runtime/library_messages.h"
#include "engine/runtime/memory_budget.h"
#include "engine/pdf/pdf_output.h"
#include "engine/raster/raster_output.h"
#include "engine/xps/xps_source.h"
#include "platform/platform.h"
#include "protocol/engine_protocol.h"

namespace {

using protocol::kEngineAllWritten;
using protocol::kEngineNothingWritten;
using protocol::kEnginePartlyWritten;

int Convert(fz_context* ctx, const engine::EngineOptions& options,
            const engine::LibraryMessages& messages) {
    std::string error;
    fz_document* doc = engine::OpenXpsDocument(ctx, options.inputPath, error);
    if (!doc) {
        engine::ReportError("cannot open " + options.inputPath + ": " + error);
        return kEngineNothingWritten;
    }
    int status = kEngineNothingWritten;
    int pageCount = engine::CountDocumentPages(ctx, doc, error);
    if (pageCount < 0) {
        engine::ReportError("cannot read the pages of " + options.inputPath + ": " + error);
    } else if (pageCount == 0) {
        engine::ReportError(options.inputPath + " has no pages");
    } else if (options.device == engine::OutputDevice::PageCount) {
        engine::ReportPageCount(pageCount);
        status = kEngineAllWritten;
    } else if (options.device == engine::OutputDevice::PdfWrite) {
        status = engine::WritePdf(ctx, doc, pageCount, options, messages) ? kEngineAllWritten
                                                                         : kEnginePartlyWritten;
    } else {
        status = engine::WritePageBitmaps(ctx, doc, pageCount, options, messages)
                     ? kEngineAllWritten
                     : kEnginePartlyWritten;
    }
    fz_drop_document(ctx, doc);
    return status;
}

uint64_t MemoryBudgetFromEnvironment() {
    std::string warning;
    const uint64_t bytes = engine::ChooseMemoryBudget(std::getenv(protocol::kEngineMemoryVariable),
                                                      platform::PhysicalMemoryBytes(), warning);
    if (!warning.empty()) engine::ReportError(warning);
    engine::LimitJpegDecoders(bytes);
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    platform::KeepFreedMemoryForReuse();
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    engine::ParseResult parsed = engine::ParseEngineArguments(arguments);
    for (const std::string& error : parsed.errors) engine::ReportError(error);
    if (!parsed.errors.empty()) return kEngineNothingWritten;

    // Declared before the context: both must outlive it.
    engine::MemoryBudget budget(MemoryBudgetFromEnvironment());
    engine::LibraryMessages messages(parsed.options.inputPath);
    // Locks cost a little on every shared object, so only page images drawn on several
    // threads get them.
    engine::LibraryLocks locks;
    const bool threaded = parsed.options.device == engine::OutputDevice::Bmp16m &&
                          engine::PageRenderingThreads(parsed.options) > 1;
    fz_context* ctx = engine::NewEngineContext(budget.Allocator(),
                                               threaded ? locks.Callbacks() : nullptr,
                                               engine::StoreLimitFor(budget.Limit()));
    if (!ctx) {
        engine::ReportError("cannot create the rendering context");
        return kEnginePartlyWritten;
    }
    messages.Attach(ctx);
    const int status = Convert(ctx, parsed.options, messages);
    fz_drop_context(ctx);
    messages.ReportDocument();
    return status;
}
