#pragma once
// One PDF image object per distinct image. A document draws the same picture from many places
// (a brush used twice, a tile, every page's logo), and the reader hands each use over as its
// own image; the PDF keeps one copy.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <array>
#include <map>
#include <vector>

namespace engine {

class PdfImageCache {
  public:
    PdfImageCache(fz_context* ctx, pdf_document* doc) : ctx_(ctx), doc_(doc) {}
    PdfImageCache(const PdfImageCache&) = delete;
    PdfImageCache& operator=(const PdfImageCache&) = delete;
    ~PdfImageCache();

    // The image object for image, added on first use; borrowed. Throws library errors.
    pdf_obj* ObjectFor(fz_image* image);

  private:
    using Digest = std::array<unsigned char, 16>;
    Digest DigestOf(fz_image* image);

    fz_context* ctx_;
    pdf_document* doc_;
    std::map<Digest, pdf_obj*> objects_;
    std::vector<fz_image*> keptImages_;  // alive, so that no other image takes their address
};

}  // namespace engine
