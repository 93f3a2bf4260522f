#pragma once
// Stamps the overlay into a PDF file in place, keeping its encryption.

#include <string>

#include "postproc/overlay_request.h"
#include "postproc/pdf_document.h"

namespace mstar {

// Throws on any failure; the file is then exactly as it was.
void StampPdfFile(const std::string& path, const PdfPasswords& passwords,
                  const OverlayRequest& request);

}  // namespace mstar
