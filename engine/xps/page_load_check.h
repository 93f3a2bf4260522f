#pragma once
// Markup the renderer would never finish is looked for in the one reading of each page that
// the library makes as it loads the page, so that no page is read and parsed a second time
// for the look. The engine is linked with -Wl,--wrap=fz_parse_xml: every parse of the library
// goes through our wrapper, which, while a PageLoadCheck is open on the parsing thread, looks
// through the parsed markup and keeps the first refusal in that check. With no check open
// (the package's own parts, the PDF output's own reading of a page) a parse is only passed on.

#include <mupdf/fitz.h>

#include <string>

namespace engine {

// Open around one page's load, on the thread that loads it; it starts empty, so nothing found
// in another page can reach this one.
class PageLoadCheck {
  public:
    PageLoadCheck() noexcept;
    ~PageLoadCheck();
    PageLoadCheck(const PageLoadCheck&) = delete;
    PageLoadCheck& operator=(const PageLoadCheck&) = delete;

    // Why the markup parsed while this check was open must not be drawn, or empty.
    std::string Refusal() const;

    // Looks through one parsed part (the parser's result); called by the wrapper only.
    void Look(fz_xml* parsed) noexcept;

  private:
    PageLoadCheck* outer_;  // the check open before this one on this thread, if any
    std::string refusal_;
    bool unchecked_ = false;  // a part could not be looked through
};

}  // namespace engine
