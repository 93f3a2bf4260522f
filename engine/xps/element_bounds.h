#pragma once
// The area an element of a FixedPage covers, from its markup alone: what the library does not
// measure for a Canvas that carries a hyperlink.

#include <mupdf/fitz.h>

namespace engine {

// How deep the engine's own walks follow nested Canvas elements. The library stops drawing
// well before this depth (its error stack overflows, and the page is reported incomplete), so
// nothing drawn is missed; a hostile nesting costs the walks neither call depth nor time.
constexpr int kMaxMarkupDepth = 1000;

// The bounds of a Path, Glyphs or Canvas (with everything inside it) under transform, which
// maps the element's parent coordinates to the page, in XPS units. Curves and arcs count with
// their control points and radii, text with an average advance per character: the area is
// never smaller than what is drawn, rarely much larger. Empty when nothing is drawn.
fz_rect ElementBounds(fz_xml* element, fz_matrix transform);

// The element's own RenderTransform (attribute or MatrixTransform child); identity when it
// has none or refers to a resource.
fz_matrix ElementTransform(fz_xml* element);

}  // namespace engine
