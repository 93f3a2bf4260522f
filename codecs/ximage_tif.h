#pragma once
// TIFF image class: encodes one image directory per call through libtiff over an ImageStream.
// With append the libtiff handle stays open from page to page; EncodePage instead makes each
// page a TIFF of its own, for pages encoded apart and appended later.

#include <cstdint>

#include "image/ximage.h"

class ImageStream;
struct tiff;  // libtiff's handle (TIFF)

// Values of the TIFF codec-option slot (format code 6).
enum TiffCompressionChoice : uint32_t {
    kTiffNone = 1,
    kTiffCcittRle = 2,
    kTiffCcittFax3 = 3,
    kTiffCcittFax4 = 4,
    kTiffLzw = 5,
    kTiffJpeg = 7,
    kTiffPackBits = 32773,
    kTiffJpegYCbCr = 19999,  // JPEG with colour pages converted to YCbCr here; written as 7
};

class CxImageTIF : public CxImage {
  public:
    CxImageTIF();
    ~CxImageTIF() override;  // closes a handle that is still open

    // Encodes the image as one directory into stream. With append (or once a page went through
    // the open handle) the handle stays open and the directory is chained for the next page;
    // the stream must then stay valid until the handle is closed.
    bool Encode(ImageStream* stream, bool append);
    // Encodes the image into an empty stream as a complete TIFF holding the one directory that
    // page pageNumber of a multi-page file carries (SubfileType page, PageNumber, PageName).
    bool EncodePage(ImageStream* stream, int32_t pageNumber);
    // Closes the libtiff handle (if open) and resets the multi-page state.
    void CloseTiffHandle();

    bool IsMultiPage() const { return multiPage_; }
    int32_t GetPageCounter() const { return pageCounter_; }
    bool HasOpenHandle() const { return handle_ != nullptr; }

    // Where libtiff's callbacks read and write. With discard set, writes are swallowed so that
    // closing the handle after a failed page leaves the file as it was before the page.
    struct ClientStream {
        ImageStream* stream = nullptr;
        bool discardWrites = false;
    };

  protected:
    bool EncodeBody(tiff* handle, bool multiPage, int32_t page, int32_t pages);
    void SetupYCbCr();
    bool WriteYCbCrStrips(tiff* handle, uint32_t rowsPerStrip);

  private:
    bool Fail(const char* message);
    bool OpenHandle(ImageStream* stream);
    uint8_t YCbCrCode(float value, int32_t black, int32_t white, int32_t range) const;

    tiff* handle_ = nullptr;
    bool multiPage_ = false;
    int32_t pageCounter_ = 0;

    float referenceBlackWhite_[6] = {0, 255, 128, 255, 128, 255};
    float ycbcrCoefficients_[3] = {0.299f, 0.587f, 0.114f};
    float lumaRed_ = 0.299f;
    float lumaGreen_ = 0.587f;
    float lumaBlue_ = 0.114f;
    float lumaTableRed_[256] = {};
    float lumaTableGreen_[256] = {};
    float lumaTableBlue_[256] = {};
    float d1_ = 0.0f;
    float d2_ = 0.0f;
    uint32_t lumaZeroCode_ = 0;
    uint32_t horizontalSubsampling_ = 1;
    uint32_t verticalSubsampling_ = 1;

    ClientStream client_;
};
