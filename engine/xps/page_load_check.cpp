#include "engine/xps/page_load_check.h"

#include "engine/xps/endless_markup.h"

namespace engine {
namespace {

// The check open on this thread; a plain pointer, so that the slot needs no destructor.
thread_local PageLoadCheck* openCheck = nullptr;

}  // namespace

PageLoadCheck::PageLoadCheck() noexcept : outer_(openCheck) { openCheck = this; }

PageLoadCheck::~PageLoadCheck() { openCheck = outer_; }

std::string PageLoadCheck::Refusal() const {
    // A page that could not be looked through might hold the renderer: it is not drawn.
    if (refusal_.empty() && unchecked_) {
        return "there was no memory to look through the page's markup; the page was not drawn";
    }
    return refusal_;
}

void PageLoadCheck::Look(fz_xml* parsed) noexcept {
    if (!parsed || !refusal_.empty()) return;
    try {
        refusal_ = EndlessMarkupIn(fz_xml_root(parsed));
    } catch (...) {
        unchecked_ = true;
    }
}

}  // namespace engine

extern "C" fz_xml* __real_fz_parse_xml(fz_context* ctx, fz_buffer* buf, int preserveWhite);

// The parser's own error jumps out through this frame before any C++ object exists in it, so
// it holds none and is not marked noexcept (a jump through a noexcept frame may end the
// program on some systems); the look itself throws nothing.
extern "C" fz_xml* __wrap_fz_parse_xml(fz_context* ctx, fz_buffer* buf, int preserveWhite) {
    fz_xml* parsed = __real_fz_parse_xml(ctx, buf, preserveWhite);
    if (engine::PageLoadCheck* check = engine::openCheck) check->Look(parsed);
    return parsed;
}
