// make_xps_program OUT.xps: writes a two-page demonstration document (coloured shapes, a title
// and a line of body text; the second page also holds a JPEG image).

#include <cstdio>

#include "support/xps_fixture.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_xps_program OUT.xps\n");
        return 2;
    }
    xpsfixture::XpsDocumentBuilder doc;
    // US Letter portrait, then landscape.
    int first = doc.AddPage(816, 1056);
    doc.AddText(first, 96, 120, 40, "Sample XPS document", 0x1F3A93);
    doc.AddRect(first, 96, 160, 624, 8, 0x1F3A93);
    doc.AddRect(first, 96, 240, 192, 144, 0xE03C31);
    doc.AddRect(first, 312, 240, 192, 144, 0x2E9E44);
    doc.AddRect(first, 528, 240, 192, 144, 0xF2C500);
    doc.AddText(first, 96, 460, 16, "Red, green and yellow rectangles of 2 x 1.5 inches.");
    int second = doc.AddPage(1056, 816);
    doc.AddText(second, 96, 120, 32, "Page two", 0x000000);
    doc.AddRect(second, 96, 192, 384, 384, 0x000000);
    doc.AddRect(second, 192, 288, 192, 192, 0xFFFFFF);
    doc.AddImage(second, 576, 192, 384, 384);
    if (!doc.WriteTo(argv[1])) {
        std::fprintf(stderr, "make_xps_program: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
