#pragma once
// One entry point per writer. Each writes the image to the stream in its format, works on a
// shallow copy of the image of its own writer class, and on failure copies the writer's
// message into image's last error text. None of them throws.

#include <cstdint>

class BmpRowSource;
class CxImage;
class ImageStream;

bool EncodeBmp(CxImage& image, ImageStream* stream);
bool EncodeGif(CxImage& image, ImageStream* stream);
bool EncodeJpeg(CxImage& image, ImageStream* stream);
// The same JPEG as EncodeJpeg of the page those rows hold, with settings' codec options,
// quality and resolution; settings needs no pixels of its own.
bool EncodeJpegFromRows(CxImage& settings, BmpRowSource& rows, ImageStream* stream);
bool EncodePng(CxImage& image, ImageStream* stream);
// The same PNG as EncodePng of the page those rows hold (24-bit colour, not interlaced), with
// settings' resolution; settings needs no pixels of its own.
bool EncodePngFromRows(CxImage& settings, BmpRowSource& rows, ImageStream* stream);
bool EncodeTiff(CxImage& image, ImageStream* stream);
bool EncodeTga(CxImage& image, ImageStream* stream);
bool EncodePcx(CxImage& image, ImageStream* stream);
// JP2 (11), JPC (12), PGX (13), PNM (14) and Sun raster (15), told apart by the format code.
bool EncodeJpeg2000Family(CxImage& image, ImageStream* stream, int32_t formatCode);

// Every writer first checks: no stream -> "null file handler"; empty image -> "null image!!!".
bool CheckWriterPreconditions(CxImage& image, ImageStream* stream);
