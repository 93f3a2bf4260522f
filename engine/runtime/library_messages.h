#pragma once
// The library's warnings, gathered page by page, so that the user learns what a page lost (a
// font that could not be loaded, an image that could not be decoded) and on which page.
//
// The library calls one warning and one error callback per context, and a cloned context
// keeps the callbacks of the context it was cloned from. Pages are read on the document's
// thread and drawn on others, so a message is given to the page that the calling thread is
// working on (PageMessageScope), whatever the context.

#include <mupdf/fitz.h>

#include <mutex>
#include <string>
#include <vector>

namespace engine {

// What the library said about one page. Used by one thread at a time.
class PageMessages {
  public:
    // Messages for the user, each once, in the order first said. Each tells of something the
    // page lost (the library's messages that mean nothing was lost are not kept), so a page
    // with any is incomplete.
    const std::vector<std::string>& Lines() const { return lines_; }
    bool LostContent() const { return !lines_.empty(); }
    // An allocation failed for good while the page was read or drawn, even if the library
    // went on without what it could not allocate: the page is not complete then.
    bool OutOfMemory() const { return outOfMemory_; }
    // That failure came from the engine's memory budget rather than from the system.
    bool BudgetReached() const { return budgetReached_; }

    // The library's messages as they come; budgetRefused tells whether the budget has refused
    // an allocation on this thread since the page began.
    void AddWarning(const std::string& message);
    void AddError(const std::string& message, bool budgetRefused);

  private:
    std::vector<std::string> lines_;
    std::string cause_;  // the error thrown last, which the next warning usually reports on
    bool causeIsMemory_ = false;
    bool outOfMemory_ = false;
    bool budgetReached_ = false;
};

// Why page is incomplete for want of memory (ctx's budget named when it was reached), or empty
// when memory did not fail it.
std::string MemoryFailureOf(fz_context* ctx, const PageMessages& page);

// While it lives, the library's messages on this thread belong to page. Scopes may nest (the
// inner one wins until it ends).
class PageMessageScope {
  public:
    PageMessageScope(fz_context* ctx, PageMessages& page);
    ~PageMessageScope();
    PageMessageScope(const PageMessageScope&) = delete;
    PageMessageScope& operator=(const PageMessageScope&) = delete;

  private:
    friend class LibraryMessages;
    fz_context* ctx_;
    PageMessages& page_;
    PageMessageScope* outer_;
    unsigned long long refusalsAtStart_;
};

// Takes the library's messages for one document: those said during a page go to that page,
// the others (while the document is opened or saved) to the document.
class LibraryMessages {
  public:
    explicit LibraryMessages(std::string documentPath);
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // Sets ctx's callbacks; contexts cloned from ctx afterwards share them. This object must
    // outlive ctx and its clones.
    void Attach(fz_context* ctx);

    // Writes each of page's lines on standard error as "proc.dll: DOCUMENT: page N: MESSAGE".
    void ReportPage(int page, const PageMessages& messages) const;
    // The same for the messages said outside any page, without the page; then forgets them.
    void ReportDocument();

    const std::string& DocumentPath() const { return documentPath_; }

  private:
    static void OnWarning(void* user, const char* message) noexcept;
    static void OnError(void* user, const char* message) noexcept;

    std::string documentPath_;
    std::mutex mutex_;  // for document_: threads outside a page may still say something
    PageMessages document_;
};

}  // namespace engine
