#pragma once
// The document outline (DocumentStructure) as the PDF's bookmarks, with the same titles,
// nesting and targets.

#include <mupdf/pdf.h>

#include <cstddef>
#include <string>

#include "engine/xps/page_layout.h"
#include "engine/xps/xps_package.h"

namespace engine {

// The most bookmarks written. The library's writer follows the bookmarks' links one call
// deeper per entry: on a 1 MiB stack it fails past about 8,000 entries on Windows and 10,000
// on Linux. This many leave room to spare, and are far more than real outlines carry.
constexpr size_t kMaxOutlineEntries = 5000;

// Writes the outline of the document in package into pdf, whose pages are all written;
// nothing when it has none. An entry whose target is not in the document keeps its title
// without a destination. Entries past kMaxOutlineEntries are left out, which is reported once
// as a problem of documentPath. False with error set when the library failed.
bool AddOutline(fz_context* ctx, fz_document* doc, pdf_document* pdf, const DocumentLayout& layout,
                int pageCount, const XpsPackage& package, const std::string& documentPath,
                std::string& error);

}  // namespace engine
