#pragma once
// The ToUnicode maps of composite fonts (two-byte codes): written from what each code stands
// for, and cut down to the codes the text uses once the font is a subset.

#include <mupdf/pdf.h>

#include <string>
#include <vector>

namespace engine {

// One code and the characters (code points) it stands for.
struct CodeText {
    unsigned code;
    std::vector<int> text;
};

// Gives font (a Type0 font with two-byte codes) a ToUnicode map of mappings, sorted by code.
// Never throws: empty, or the library's error text.
std::string StoreToUnicode(fz_context* ctx, pdf_document* doc, pdf_obj* font,
                    const std::vector<CodeText>& mappings);

// Rewrites the ToUnicode stream of font (a Type0 font with two-byte codes) to map only the codes
// marked in used, each to what the old map gave it. Never throws; leaves the map alone when it
// has none or it cannot be read or stored.
void PruneToUnicode(fz_context* ctx, pdf_document* doc, pdf_obj* font,
                    const std::vector<bool>& used);

}  // namespace engine
