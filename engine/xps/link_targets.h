#pragma once
// Where an internal XPS link or outline target leads: "#name" of a LinkTarget or of an
// element's Name, "FixedDocument.fdoc#name", "#PageN".

#include <mupdf/pdf.h>

#include <string>

#include "engine/xps/page_layout.h"

namespace engine {

// What a hyperlink may become in a PDF. Only web and mail addresses (http, https, ftp, mailto)
// are handed to a reader to open: other schemes can run scripts, open local files or start
// programs. A place in this document (a fragment, or a part of this package) becomes a
// destination; anything else names another file, whose places are not pages of this one.
enum class LinkKind { Address, InDocument, LeftOut };
LinkKind ClassifyLink(const std::string& uri);

struct LinkTarget {
    int page = -1;         // from 0
    fz_point at = {0, 0};  // points from the page's top left
};

// False when the target names nothing in the document, or is no place in it (ClassifyLink).
// Catches the library's errors.
bool ResolveInternalTarget(fz_context* ctx, fz_document* doc, const DocumentLayout& layout,
                           int pageCount, const std::string& uri, LinkTarget& target);

// A PDF destination array [page /XYZ left top null] for target in pdf, whose pages are
// already written. Throws the library's errors.
pdf_obj* NewDestination(fz_context* ctx, pdf_document* pdf, const LinkTarget& target);

// The media box of page index of pdf. Throws the library's errors.
fz_rect PdfPageBox(fz_context* ctx, pdf_document* pdf, int index);

}  // namespace engine
