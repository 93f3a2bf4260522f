#pragma once
// BMP image class: the decoder that loads page files and the writer of format code 1.

#include <cstdint>
#include <vector>

#include "image/ximage.h"

class ImageStream;

class CxImageBMP : public CxImage {
public:
    CxImageBMP() : CxImage(kFormatBmp) {}
    // Reads a BMP file (or a bare DIB) from the stream's current position into this image.
    bool DecodeBmp(ImageStream& stream);
    // Writes this image as a BMP file.
    bool EncodeBmp(ImageStream* stream);

private:
    // Reads exactly size bytes into data; false, with the message set, when memory or the file
    // runs short.
    bool ReadBlock(ImageStream& stream, size_t size, std::vector<uint8_t>& data);
};

// Loads a BMP from the stream into image; on failure image keeps its contents and gets the
// decoder's message.
bool DecodeBmpInto(CxImage& image, ImageStream& stream);
