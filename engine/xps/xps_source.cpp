#include "engine/xps/xps_source.h"

#include "engine/memory_budget.h"
#include "platform/platform.h"

namespace engine {
namespace {

void DropMessage(void*, const char*) {}

}  // namespace

fz_context* NewEngineContext(const fz_alloc_context* alloc, const fz_locks_context* locks,
                             size_t storeLimit) {
    fz_context* ctx = fz_new_context(alloc, locks, storeLimit);
    if (!ctx) return nullptr;
    fz_set_warning_callback(ctx, DropMessage, nullptr);
    fz_set_error_callback(ctx, DropMessage, nullptr);
    return ctx;
}

fz_context* CloneEngineContext(fz_context* ctx) { return fz_clone_context(ctx); }

std::string CaughtMessage(fz_context* ctx) {
    const MemoryBudget* budget = BudgetOf(ctx);
    if (fz_caught(ctx) == FZ_ERROR_MEMORY && budget && budget->Refusals() > 0) {
        return BudgetReachedMessage(*budget);
    }
    const char* message = fz_caught_message(ctx);
    return (message && *message) ? message : "unknown library error";
}

fz_document* OpenXpsDocument(fz_context* ctx, const std::string& path, std::string& error) {
    // Made before the library's try block: a jump out of it would skip the text's destructor.
    const std::string libraryPath = platform::PathForUtf8Library(path);
    fz_stream* file = nullptr;
    fz_document* doc = nullptr;
    fz_var(file);
    fz_var(doc);
    fz_try(ctx) {
        fz_register_document_handlers(ctx);
        file = fz_open_file(ctx, libraryPath.c_str());
        // Chosen by type, not by the file's name: the input is always read as XPS.
        doc = fz_open_document_with_stream(ctx, "application/oxps", file);
    }
    fz_always(ctx) { fz_drop_stream(ctx, file); }
    fz_catch(ctx) {
        error = CaughtMessage(ctx);
        doc = nullptr;
    }
    return doc;
}

int CountDocumentPages(fz_context* ctx, fz_document* doc, std::string& error) {
    int count = -1;
    fz_var(count);
    fz_try(ctx) { count = fz_count_pages(ctx, doc); }
    fz_catch(ctx) {
        error = CaughtMessage(ctx);
        count = -1;
    }
    return count;
}

}  // namespace engine
