#pragma once
// Stamping the overlay onto every page of an opened PDF.

#include <qpdf/QPDF.hh>

#include "postproc/overlay_request.h"

namespace mstar {

void StampAllPages(QPDF& pdf, const OverlayRequest& request);

}  // namespace mstar
