#pragma once
// An image read from or written to a file or stream in one of the image layer's format codes.
// Each returns false on failure with the image's last error text saying why; none throws.

#include <cstdint>
#include <string>

class CxImage;
class ImageStream;

// Reads the file into image. With a format code the file is decoded in that format first; when
// that fails (or without one) the built-in decoders are tried in turn, and a typed load keeps the
// typed decoder's message. A file that cannot be opened leaves the system's reason ("No such file
// or directory").
bool Load(CxImage& image, const std::string& path, int32_t formatCode);
// The same from a stream's current position ("Decode: Unknown or wrong format" when no decoder
// takes it).
bool Decode(CxImage& image, ImageStream& stream, int32_t formatCode);
// Writes image to stream in the format of the code, through that format's writer ("Encode:
// Unknown format" for a code without one).
bool Encode(CxImage& image, ImageStream* stream, int32_t formatCode);
