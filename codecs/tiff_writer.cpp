// CxImageTIF's encoder on libtiff (client-opened over an ImageStream) and the TIFF entry of
// the encode dispatch.

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/grey_palette.h"
#include "codecs/image_stream.h"
#include "codecs/ximage_tif.h"

namespace {

CxImageTIF::ClientStream& Client(thandle_t handle) {
    return *static_cast<CxImageTIF::ClientStream*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(Client(handle).stream->Read(buffer, 1, static_cast<size_t>(size)));
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    CxImageTIF::ClientStream& client = Client(handle);
    if (client.discardWrites || size <= 0) return size;
    return static_cast<tmsize_t>(client.stream->Write(buffer, 1, static_cast<size_t>(size)));
}

toff_t SeekProc(thandle_t handle, toff_t offset, int origin) {
    ImageStream* stream = Client(handle).stream;
    if (!stream->Seek(static_cast<int64_t>(offset), origin)) return static_cast<toff_t>(-1);
    return static_cast<toff_t>(stream->Tell());
}

// The stream belongs to the caller, who closes it.
int CloseProc(thandle_t) { return 0; }

toff_t SizeProc(thandle_t handle) {
    const int64_t size = Client(handle).stream->Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages are not shown; the writer reports its own.
int QuietHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

uint32_t Luminance(const RgbQuad& c) {
    return (306u * c.rgbRed + 601u * c.rgbGreen + 117u * c.rgbBlue) >> 10;
}

// Index 0 must be the lighter colour of a 1-bit image written as "white is zero".
void MakeIndexZeroLighter(CxImage& image) {
    const RgbQuad first = image.GetPaletteColor(0);
    const RgbQuad second = image.GetPaletteColor(1);
    if (Luminance(first) >= Luminance(second)) return;
    image.SetPaletteColor(0, second);
    image.SetPaletteColor(1, first);
    for (uint32_t row = 0; row < image.GetHeight(); ++row) {
        uint8_t* bits = image.GetBits(row);
        for (uint32_t i = 0; i < image.GetEffWidth(); ++i) bits[i] = static_cast<uint8_t>(~bits[i]);
    }
}

}  // namespace

CxImageTIF::CxImageTIF() : CxImage(kFormatTiff) {}

CxImageTIF::~CxImageTIF() { CloseTiffHandle(); }

void CxImageTIF::CloseTiffHandle() {
    if (handle_ != nullptr) TIFFClose(handle_);
    handle_ = nullptr;
    client_.discardWrites = false;
    multiPage_ = false;
    pageCounter_ = 0;
}

bool CxImageTIF::Fail(const char* message) {
    SetLastError(message);
    // Nothing of the failed directory may reach the file when the handle is closed.
    client_.discardWrites = true;
    CloseTiffHandle();
    return false;
}

bool CxImageTIF::OpenHandle(ImageStream* stream) {
    client_.stream = stream;
    client_.discardWrites = false;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options != nullptr) {
        TIFFOpenOptionsSetErrorHandlerExtR(options, QuietHandler, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options, QuietHandler, nullptr);
    }
    // An empty stream gets a new header; "w" does that without first trying to read one, which
    // would mark a write-only file as failed.
    const bool existing = stream->Size() > 0;
    // libtiff reads the header of an existing file from where the stream stands.
    if (existing) stream->Seek(0, SEEK_SET);
    const char* mode = existing ? "a" : "w";
    handle_ = TIFFClientOpenExt("TIFF IMAGE", mode, &client_, ReadProc, WriteProc, SeekProc,
                                CloseProc, SizeProc, MapProc, UnmapProc, options);
    if (options != nullptr) TIFFOpenOptionsFree(options);
    return handle_ != nullptr;
}

bool CxImageTIF::Encode(ImageStream* stream, bool append) {
    if (!CheckWriterPreconditions(*this, stream)) return false;
    if (handle_ == nullptr) {
        if (!OpenHandle(stream)) return Fail("initialization fail");
    } else {
        client_.stream = stream;
    }
    if (append || pageCounter_ > 0) multiPage_ = true;
    ++pageCounter_;
    if (!EncodeBody(handle_, multiPage_, pageCounter_, pageCounter_))
        return Fail("Error saving TIFF file");
    if (append) {
        if (!TIFFWriteDirectory(handle_)) return Fail("Error saving TIFF directory");
        return true;
    }
    TIFFClose(handle_);
    handle_ = nullptr;
    multiPage_ = false;
    pageCounter_ = 0;
    return true;
}

bool CxImageTIF::EncodePage(ImageStream* stream, int32_t pageNumber) {
    if (!CheckWriterPreconditions(*this, stream)) return false;
    CloseTiffHandle();
    if (stream->Size() != 0) return Fail("initialization fail");
    if (!OpenHandle(stream)) return Fail("initialization fail");
    if (!EncodeBody(handle_, true, pageNumber, pageNumber)) return Fail("Error saving TIFF file");
    if (!TIFFWriteDirectory(handle_)) return Fail("Error saving TIFF directory");
    CloseTiffHandle();
    return true;
}

bool CxImageTIF::EncodeBody(tiff* handle, bool multiPage, int32_t page, int32_t pages) {
    const uint32_t bits = GetBpp();
    const uint16_t samples = bits >= 24 ? 3 : 1;
    const uint16_t bitsPerSample = static_cast<uint16_t>(bits / samples);
    const uint32_t width = GetWidth();
    const uint32_t height = GetHeight();

    uint16_t photometric = PHOTOMETRIC_RGB;
    if (bits == 1) {
        MakeIndexZeroLighter(*this);
        photometric = PHOTOMETRIC_MINISWHITE;
    } else if (bits <= 8) {
        // Only 8-bit indices can be grey levels themselves; a 4-bit identity palette holds
        // near-black entries, which a grey reading would stretch to the full range.
        photometric = bits == 8 && HasIdentityGreyPalette(*this) ? PHOTOMETRIC_MINISBLACK
                                                                 : PHOTOMETRIC_PALETTE;
    }

    TIFFSetField(handle, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(handle, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(handle, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(handle, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    TIFFSetField(handle, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(handle, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(handle, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(handle, TIFFTAG_XRESOLUTION, static_cast<double>(GetXDPI()));
    TIFFSetField(handle, TIFFTAG_YRESOLUTION, static_cast<double>(GetYDPI()));

    if (multiPage) {
        TIFFSetField(handle, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(handle, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page),
                     static_cast<uint16_t>(pages));
        const std::string pageName = "Page " + std::to_string(page);
        TIFFSetField(handle, TIFFTAG_PAGENAME, pageName.c_str());
    } else {
        TIFFSetField(handle, TIFFTAG_SUBFILETYPE, 0);
    }

    if (photometric == PHOTOMETRIC_PALETTE) {
        const size_t entries = size_t{1} << bitsPerSample;
        std::vector<uint16_t> red(entries, 0), green(entries, 0), blue(entries, 0);
        for (size_t i = 0; i < entries && i < GetNumColors(); ++i) {
            const RgbQuad c = GetPaletteColor(static_cast<uint8_t>(i));
            red[i] = static_cast<uint16_t>(c.rgbRed * 257);
            green[i] = static_cast<uint16_t>(c.rgbGreen * 257);
            blue[i] = static_cast<uint16_t>(c.rgbBlue * 257);
        }
        TIFFSetField(handle, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }

    uint32_t compression = GetCodecOption(kFormatTiff);
    if (compression == 0) {
        compression = bits == 1 ? kTiffCcittFax4 : bits <= 8 ? kTiffLzw : kTiffJpegYCbCr;
    }
    const int jpegQuality = static_cast<uint8_t>(static_cast<int>(GetJpegQuality() + 0.5f));
    TIFFSetField(handle, TIFFTAG_COMPRESSION,
                 compression == kTiffJpegYCbCr ? kTiffJpeg : compression);
    if (compression == kTiffLzw && bits > 7) {
        TIFFSetField(handle, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    } else if (compression == kTiffJpeg) {
        TIFFSetField(handle, TIFFTAG_JPEGQUALITY, jpegQuality);
    } else if (compression == kTiffJpegYCbCr) {
        if (photometric == PHOTOMETRIC_RGB) {
            SetupYCbCr();
            TIFFSetField(handle, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RAW);
            TIFFSetField(handle, TIFFTAG_REFERENCEBLACKWHITE, referenceBlackWhite_);
            TIFFSetField(handle, TIFFTAG_YCBCRSUBSAMPLING,
                         static_cast<uint16_t>(horizontalSubsampling_),
                         static_cast<uint16_t>(verticalSubsampling_));
            TIFFSetField(handle, TIFFTAG_YCBCRPOSITIONING, YCBCRPOSITION_CENTERED);
            TIFFSetField(handle, TIFFTAG_YCBCRCOEFFICIENTS, ycbcrCoefficients_);
            photometric = PHOTOMETRIC_YCBCR;
        }
        TIFFSetField(handle, TIFFTAG_JPEGQUALITY, jpegQuality);
    }

    if (!TIFFSetField(handle, TIFFTAG_PHOTOMETRIC, photometric)) return false;
    const uint32_t rowsPerStrip = TIFFDefaultStripSize(handle, static_cast<uint32_t>(-1));
    TIFFSetField(handle, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);

    if (photometric == PHOTOMETRIC_YCBCR) return WriteYCbCrStrips(handle, rowsPerStrip);

    // libtiff may change the buffer it is given (predictor), so each row goes through a copy.
    std::vector<uint8_t> row(GetEffWidth() + 8);
    for (uint32_t tiffRow = 0; tiffRow < height; ++tiffRow) {
        const uint8_t* stored = GetBits(height - 1 - tiffRow);
        std::copy(stored, stored + GetEffWidth(), row.begin());
        if (samples == 3) {
            for (uint32_t x = 0; x < width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
        }
        if (TIFFWriteScanline(handle, row.data(), tiffRow, 0) < 0) return false;
    }
    return true;
}

bool EncodeTiff(CxImage& image, ImageStream* stream) {
    CxImageTIF writer;
    writer.Ghost(image);
    if (writer.Encode(stream, false)) return true;
    image.SetLastError(writer.GetLastError());
    return false;
}
