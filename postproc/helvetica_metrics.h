#pragma once
// Metrics of the standard Helvetica font under WinAnsiEncoding, in thousandths of the font size.
// The font is never embedded, so the overlay is laid out from these published values.

#include <string_view>

namespace mstar {

constexpr double kHelveticaCapHeight = 718.0;
constexpr double kHelveticaDescender = -207.0;

// Advance width of one WinAnsi byte; control bytes have none.
int HelveticaGlyphWidth(unsigned char code);

// Width of the text in points at the given font size.
double HelveticaTextWidth(std::string_view text, double fontSize);

}  // namespace mstar
