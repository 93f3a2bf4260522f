#pragma once
// The pages of a TIFF file as libtiff reads them back: size, compression, page tags and the
// colours of two corners.

#include <tiffio.h>

#include <string>
#include <vector>

#include "codecs/raster_test_image.h"

struct PageFacts {
    uint16_t compression = 0, photometric = 0, page = 0, pages = 0;
    uint32_t width = 0;
    std::string pageName;
    Rgb topLeft{}, bottomRight{};
};

inline std::vector<PageFacts> ReadPages(const std::string& path) {
    std::vector<PageFacts> pages;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) return pages;
    do {
        PageFacts p;
        uint32_t height = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &p.compression);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric);
        TIFFGetField(tif, TIFFTAG_PAGENUMBER, &p.page, &p.pages);
        char* name = nullptr;
        if (TIFFGetField(tif, TIFFTAG_PAGENAME, &name)) p.pageName = name;
        std::vector<uint32_t> raster(static_cast<size_t>(p.width) * height);
        if (TIFFReadRGBAImageOriented(tif, p.width, height, raster.data(), ORIENTATION_TOPLEFT,
                                      0)) {
            auto rgb = [](uint32_t v) {
                return Rgb{static_cast<uint8_t>(TIFFGetR(v)), static_cast<uint8_t>(TIFFGetG(v)),
                           static_cast<uint8_t>(TIFFGetB(v))};
            };
            p.topLeft = rgb(raster.front());
            p.bottomRight = rgb(raster.back());
        }
        pages.push_back(p);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}
