#include "engine/runtime/library_messages.h"

#include <algorithm>
#include <cstring>

#include "engine/runtime/memory_budget.h"
#include "engine/runtime/engine_errors.h"

namespace engine {
namespace {

thread_local PageMessageScope* currentScope = nullptr;

constexpr size_t kMaxLines = 10;

bool StartsWith(const std::string& text, const char* start) {
    return text.compare(0, std::strlen(start), start) == 0;
}

// Warnings that do not mean anything of the page was lost, so the user is not told:
// - the library's count of a warning repeated, since each page's warnings are told once anyway;
// - colour management is not built into the library: colours are still drawn, unmanaged;
// - links: neither output keeps them;
// - a tile of no width or height: it covers nothing, in any reader.
bool MeansNothingLost(const std::string& message) {
    return StartsWith(message, "... repeated ") ||
           StartsWith(message, "ICC support is not available") ||
           StartsWith(message, "Dropping link target") ||
           StartsWith(message, "FixedPage.NavigateUri attribute") ||
           StartsWith(message, "not drawing tile for");
}

}  // namespace

void PageMessages::AddWarning(const std::string& message) {
    // Most warnings follow the error that the library caught and went on from: the error
    // says why (which part is missing, what the decoder found), the warning what was dropped.
    std::string cause;
    cause.swap(cause_);
    const bool causeIsMemory = causeIsMemory_;
    causeIsMemory_ = false;
    if (MeansNothingLost(message)) return;
    // Once memory ran out, the page's own failure line says what happened, and what the
    // library says next is mostly about what it dropped for that reason.
    if (causeIsMemory || outOfMemory_) return;
    const std::string line = cause.empty() ? message : message + ": " + cause;
    // Told once per page: a missing font is missed by every line of text that uses it.
    const bool seen = std::any_of(lines_.begin(), lines_.end(), [&](const std::string& old) {
        return old.compare(0, message.size(), message) == 0 &&
               (old.size() == message.size() || old.compare(message.size(), 2, ": ") == 0);
    });
    if (seen) return;
    // A broken font can have every glyph warned about: a page's first lines tell the story.
    if (lines_.size() < kMaxLines) {
        lines_.push_back(line);
    } else if (lines_.size() == kMaxLines) {
        lines_.push_back("more warnings on this page are not shown");
    }
}

void PageMessages::AddError(const std::string& message, bool budgetRefused) {
    cause_ = message;
    causeIsMemory_ = IsAllocationFailure(message);
    if (causeIsMemory_) {
        outOfMemory_ = true;
        budgetReached_ = budgetReached_ || budgetRefused || IsJpegLimitReached(message);
    }
}

std::string MemoryFailureOf(fz_context* ctx, const PageMessages& page) {
    if (!page.OutOfMemory()) return {};
    const MemoryBudget* budget = BudgetOf(ctx);
    if (page.BudgetReached() && budget) return BudgetReachedMessage(*budget);
    return "out of memory";
}

PageMessageScope::PageMessageScope(fz_context* ctx, PageMessages& page)
    : ctx_(ctx),
      page_(page),
      outer_(currentScope),
      refusalsAtStart_(MemoryBudget::RefusalsOnThisThread()) {
    // A warning still held back as a possible repeat belongs to what came before.
    fz_flush_warnings(ctx_);
    currentScope = this;
}

PageMessageScope::~PageMessageScope() {
    // The repeat count is told now, while this page is current, and the next page's first
    // warning is not taken for a repeat of this page's last.
    fz_flush_warnings(ctx_);
    currentScope = outer_;
}

LibraryMessages::LibraryMessages(std::string documentPath)
    : documentPath_(std::move(documentPath)) {}

void LibraryMessages::Attach(fz_context* ctx) {
    fz_set_warning_callback(ctx, &LibraryMessages::OnWarning, this);
    fz_set_error_callback(ctx, &LibraryMessages::OnError, this);
}

// The library calls these from inside its own error handling: nothing may be thrown back into
// it, so a message that cannot be kept for want of memory is dropped.
void LibraryMessages::OnWarning(void* user, const char* message) noexcept {
    try {
        const std::string text = message ? message : "";
        if (PageMessageScope* scope = currentScope) {
            scope->page_.AddWarning(text);
            return;
        }
        auto* self = static_cast<LibraryMessages*>(user);
        std::lock_guard lock(self->mutex_);
        self->document_.AddWarning(text);
    } catch (...) {
    }
}

void LibraryMessages::OnError(void* user, const char* message) noexcept {
    try {
        const std::string text = message ? message : "";
        const unsigned long long refusals = MemoryBudget::RefusalsOnThisThread();
        if (PageMessageScope* scope = currentScope) {
            scope->page_.AddError(text, refusals > scope->refusalsAtStart_);
            return;
        }
        auto* self = static_cast<LibraryMessages*>(user);
        std::lock_guard lock(self->mutex_);
        self->document_.AddError(text, refusals > 0);
    } catch (...) {
    }
}

void LibraryMessages::ReportPage(int page, const PageMessages& messages) const {
    for (const std::string& line : messages.Lines()) {
        ReportPageError(documentPath_, page, line);
    }
}

void LibraryMessages::ReportDocument() {
    PageMessages said;
    {
        std::lock_guard lock(mutex_);
        std::swap(said, document_);
    }
    for (const std::string& line : said.Lines()) ReportError(documentPath_ + ": " + line);
}

}  // namespace engine
