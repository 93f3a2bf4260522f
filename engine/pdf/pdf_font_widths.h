#pragma once
// Exact glyph widths for the fonts of the PDF. MuPDF's output device places each glyph by the
// font's exact advance but stores the widths rounded down to whole thousandths of an em, so a
// reader would let every line creep left, about half a point over a line of text. The widths
// of every font the pages used are rewritten with their exact values once all pages are done.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <set>
#include <string>

namespace engine {

class PdfFontWidths {
  public:
    explicit PdfFontWidths(fz_context* ctx) : ctx_(ctx) {}
    PdfFontWidths(const PdfFontWidths&) = delete;
    PdfFontWidths& operator=(const PdfFontWidths&) = delete;
    ~PdfFontWidths();

    // Remembers a font that text was drawn in.
    void Note(fz_font* font);
    // Rewrites the widths of every noted font that doc holds as a CID font. Empty, or the
    // library's error text.
    std::string Repair(pdf_document* doc);

  private:
    static void RepairFont(fz_context* ctx, pdf_document* doc, fz_font* font, pdf_obj* ref);

    fz_context* ctx_;
    std::set<fz_font*> fonts_;
};

}  // namespace engine
