#pragma once
// One page recorded into a display list. Pages are recorded one at a time on the document's
// context; a recording can then be drawn on any context cloned from it, which is what
// rendering pages in parallel will build on.

#include <mupdf/fitz.h>

#include <string>

namespace engine {

class PageRecording {
  public:
    // Loads page index (from 0) and records its content. On a library error the recording
    // keeps what was recorded before the error (nothing when the page could not be loaded or
    // its size cannot be drawn, in which case the bounds are fallbackBounds) and Failed() is
    // true. A page whose markup the renderer would never finish is recorded blank, failed
    // with the reason.
    PageRecording(fz_context* ctx, fz_document* doc, int index, fz_rect fallbackBounds);
    PageRecording(const PageRecording&) = delete;
    PageRecording& operator=(const PageRecording&) = delete;
    ~PageRecording();

    fz_display_list* List() const { return list_; }  // may be nullptr
    fz_rect Bounds() const { return bounds_; }
    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }

  private:
    fz_context* ctx_;
    fz_display_list* list_ = nullptr;
    fz_rect bounds_;
    std::string error_;
};

}  // namespace engine
