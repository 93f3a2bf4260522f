#pragma once
// The in-memory raster image every page conversion works on. Pixels live in one
// device-independent bitmap block (header, palette, bottom-up rows padded to 4 bytes)
// so that the block can be handed to a metafile recorder unchanged.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/output_formats.h"

constexpr uint32_t CXIMAGE_MAX_MEMORY = 268435456u;  // bytes
// The most an image may be allowed to hold, whatever it is given: every size field of the
// block (and of the files written from it) stays far inside 32 bits.
constexpr uint64_t kImageMemoryCeiling = 2ull * 1024 * 1024 * 1024;
constexpr size_t kLastErrorCapacity = 255;

#pragma pack(push, 1)
struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
struct RgbQuad {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(sizeof(RgbQuad) == 4);

inline bool operator==(const RgbQuad& a, const RgbQuad& b) {
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed &&
           a.rgbReserved == b.rgbReserved;
}

class CxImage;

// Format-independent state copied along with the pixels.
struct CxImageInfo {
    uint32_t effWidth = 0;        // row stride in bytes
    uint8_t* pImage = nullptr;    // first (bottom) pixel row inside the DIB block
    const CxImage* pGhost = nullptr;  // set on a shallow copy that shares another image's buffers
    int32_t imageType = 0;
    std::string lastError;        // at most kLastErrorCapacity characters
    int32_t progress = 0;
    int32_t escape = 0;           // non-zero: stop; -1: a decoder returns the dimensions only
    int32_t backgroundIndex = -1;
    RgbQuad backgroundColor{0, 0, 0, 0};
    float jpegQuality = 90.0f;
    int32_t frame = 0;
    int32_t numFrames = 0;
    int32_t xDpi = 96;
    int32_t yDpi = 96;
    uint8_t alphaMax = 255;
    uint8_t enabled = 1;
    int32_t xOffset = 0;
    int32_t yOffset = 0;
    uint32_t codecOptions[kFormatCodeCount] = {};
    // Bytes of pixels Create accepts, CXIMAGE_MAX_MEMORY to kImageMemoryCeiling. Copied along
    // with the rest, so that the images an operation makes on the way share the limit.
    uint64_t maxMemory = CXIMAGE_MAX_MEMORY;
    // Nearest-colour cache: any palette change clears lastColorValid.
    RgbQuad lastColor{0, 0, 0, 0};
    uint8_t lastColorIndex = 0;
    bool lastColorValid = false;
};

class CxImage {
public:
    explicit CxImage(int32_t formatCode = kFormatUnknown);
    virtual ~CxImage();
    CxImage(const CxImage&) = delete;
    CxImage& operator=(const CxImage&) = delete;

    // Geometry and storage. Create returns the new DIB block, or nullptr with the last error set.
    void* Create(uint32_t width, uint32_t height, uint32_t bitsPerPixel, int32_t formatCode = 0);
    bool Destroy();        // refused (false) for a ghost
    bool DestroyFrames();  // refused (false) for a ghost
    // Takes over the source's block, planes and layers (frames when asked); the source is left empty.
    bool Transfer(CxImage& source, bool transferFrames = true);
    // Makes this image a shallow copy sharing source's buffers; it never frees them.
    void Ghost(const CxImage& source);

    bool IsValid() const { return dib_ != nullptr; }
    bool IsGhost() const { return info_.pGhost != nullptr; }
    uint32_t GetWidth() const { return static_cast<uint32_t>(head_.biWidth); }
    uint32_t GetHeight() const { return static_cast<uint32_t>(head_.biHeight); }
    uint32_t GetBpp() const { return head_.biBitCount; }
    uint32_t GetEffWidth() const { return info_.effWidth; }
    uint32_t GetNumColors() const { return head_.biClrUsed; }
    uint32_t GetClrImportant() const { return head_.biClrImportant; }
    void SetClrImportant(uint32_t colors);
    const BitmapInfoHeader& GetHeader() const { return head_; }
    int32_t GetType() const { return info_.imageType; }
    void SetType(int32_t formatCode);

    // The whole DIB block (header copy, palette, rows) and its size in bytes.
    void* GetDIB() const { return dib_; }
    uint32_t GetSize() const;
    // Row 0 is the bottom row; a row at or beyond the height gives nullptr.
    uint8_t* GetBits(uint32_t row = 0);
    const uint8_t* GetBits(uint32_t row = 0) const;

    // Palette.
    RgbQuad* GetPalette() const;
    uint32_t GetPaletteSize() const { return head_.biClrUsed * 4; }
    RgbQuad GetPaletteColor(uint8_t index) const;
    void SetPaletteColor(uint8_t index, RgbQuad color);
    void SetPalette(const RgbQuad* palette, uint32_t count);
    void SetGrayPalette();   // entry i = i * (255 / (n - 1))
    void SetStdPalette();    // the standard palette of the depth (1 bit: black, white)
    uint8_t GetNearestIndex(RgbQuad color);  // uses and fills the nearest-colour cache

    // Pixels, in storage coordinates (y = 0 is the bottom row). Out-of-range reads give 0/black.
    uint8_t GetPixelIndex(int32_t x, int32_t y) const;
    void SetPixelIndex(int32_t x, int32_t y, uint8_t index);
    RgbQuad GetPixelColor(int32_t x, int32_t y) const;
    bool IsInside(int32_t x, int32_t y) const;
    void Clear(uint8_t value = 0);

    // Alpha plane (absent in the page flow, kept for the decoders that produce one).
    bool HasAlpha() const { return alpha_ != nullptr; }
    bool AlphaCreate();
    void AlphaDelete();
    uint8_t* AlphaPointer() const { return alpha_; }

    // Information block.
    void SetXDPI(int32_t dpi);
    void SetYDPI(int32_t dpi);
    int32_t GetXDPI() const { return info_.xDpi; }
    int32_t GetYDPI() const { return info_.yDpi; }
    void SetJpegQuality(int32_t quality);  // only the low 8 bits are kept
    float GetJpegQuality() const { return info_.jpegQuality; }
    void SetCodecOption(uint32_t value, int32_t formatCode = 0);
    uint32_t GetCodecOption(int32_t formatCode = 0) const;
    const std::string& GetLastError() const { return info_.lastError; }
    // The pixel bytes Create accepts; a value outside CXIMAGE_MAX_MEMORY..kImageMemoryCeiling
    // is taken as the nearer end.
    void SetMaxMemory(uint64_t bytes);
    uint64_t GetMaxMemory() const { return info_.maxMemory; }
    void SetLastError(std::string_view message);  // cut at kLastErrorCapacity
    void SetProgress(int32_t percent) { info_.progress = percent; }
    int32_t GetEscape() const { return info_.escape; }
    void SetEscape(int32_t value) { info_.escape = value; }
    int32_t GetBackgroundIndex() const { return info_.backgroundIndex; }
    void SetBackgroundIndex(int32_t index) { info_.backgroundIndex = index; }
    int32_t GetNumFrames() const { return info_.numFrames; }
    const CxImageInfo& GetInfo() const { return info_; }
    // Copies another image's information block (keeps this image's own pixel pointer and ghost).
    void CopyInfo(const CxImage& source);

    // Colour depth and geometry operations.
    bool ConvertToGrey();
    bool DecreaseBpp(uint32_t bits, bool errorDiffusion, const RgbQuad* palette, uint32_t colors);
    bool RotateRight();  // quarter turn clockwise
    bool RotateLeft();   // quarter turn anticlockwise
    bool Rotate(float angleDegrees);
    bool Resample(int32_t newWidth, int32_t newHeight);  // nearest pixel

protected:
    void UpdateHeaderCopy();  // keeps the DIB block's header equal to head_
    // Copy that always duplicates the buffers, also of a ghost source.
    bool CopyDeep(const CxImage& source);

    void* dib_ = nullptr;
    BitmapInfoHeader head_{};
    CxImageInfo info_;
    uint8_t* alpha_ = nullptr;
    uint8_t* selection_ = nullptr;
    std::vector<CxImage*> layers_;  // owned
    std::vector<CxImage*> frames_;  // owned
};
