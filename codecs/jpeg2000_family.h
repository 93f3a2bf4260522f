#pragma once
// Shared pieces of the writers behind EncodeJpeg2000Family (JP2, JPC, PGX, PNM, Sun raster):
// all of them see the image as one grey or three red, green, blue components of 8-bit
// unsigned samples, top row first.

#include <cstdint>
#include <string>

class CxImage;
class ImageStream;

// Format codes this family's writer takes besides JP2, JPC and Sun raster; no output type is
// saved in them.
constexpr int32_t kFormatPgx = 13;
constexpr int32_t kFormatPnm = 14;

struct ComponentView {
    const CxImage* image = nullptr;
    bool grey = false;  // one component (palette indices of an identity grey ramp)
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t Components() const { return grey ? 1 : 3; }
    // Fills width × Components() bytes with image row topRow (0 = top): grey levels, or
    // red, green, blue triples.
    void ReadRow(uint32_t topRow, uint8_t* out) const;
};

// Each writes the whole file; on failure it leaves a message in error and returns false.
bool WriteOpenJpeg(const ComponentView& view, ImageStream& stream, bool codestreamOnly,
                   const std::string& options, std::string& error);
bool WriteSunRaster(const ComponentView& view, ImageStream& stream, std::string& error);
bool WritePgx(const ComponentView& view, ImageStream& stream, std::string& error);
bool WritePnm(const ComponentView& view, ImageStream& stream, std::string& error);
