// Storage, geometry, palette, pixel and information-block operations of the image object.

#include "image/ximage.h"
#include "image/packed_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kErrorZeroSize = "CxImage::Create : width and height must be greater than zero";
constexpr const char* kErrorMaxMemory = "CXIMAGE_MAX_MEMORY exceeded";
constexpr const char* kErrorNoMemory = "CxImage::Create can't allocate memory";
constexpr double kInchesPerMetre = 39.37007874015748;

int32_t PixelsPerMetre(int32_t dpi) {
    return static_cast<int32_t>(std::floor(dpi * kInchesPerMetre + 0.5));
}

uint32_t RowStride(uint32_t width, uint32_t bitsPerPixel) {
    return static_cast<uint32_t>(((static_cast<uint64_t>(width) * bitsPerPixel + 31) / 32) * 4);
}

// The 16 colours of the classic 4-bit display palette, as red, green, blue.
constexpr uint8_t kStandard16[16][3] = {
    {0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},   {0, 0, 128},   {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

}  // namespace

CxImage::CxImage(int32_t formatCode) {
    info_.imageType = formatCode;
    info_.jpegQuality = 90.0f;
    info_.alphaMax = 255;
    info_.backgroundIndex = -1;
    info_.enabled = 1;
    SetXDPI(96);
    SetYDPI(96);
}

CxImage::~CxImage() {
    DestroyFrames();
    Destroy();
}

void* CxImage::Create(uint32_t width, uint32_t height, uint32_t bitsPerPixel, int32_t formatCode) {
    if (!Destroy()) return nullptr;
    if (width == 0 || height == 0) {
        SetLastError(kErrorZeroSize);
        return nullptr;
    }
    if (bitsPerPixel <= 1) {
        bitsPerPixel = 1;
    } else if (bitsPerPixel <= 4) {
        bitsPerPixel = 4;
    } else if (bitsPerPixel <= 8) {
        bitsPerPixel = 8;
    } else {
        bitsPerPixel = 24;
    }

    // In 64 bits, so that no product wraps around to a small value and slips through: the
    // pixels may hold at most maxMemory bytes (width x height x bits <= 8 x maxMemory).
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu || pixels > 8 * info_.maxMemory / bitsPerPixel) {
        SetLastError(kErrorMaxMemory);
        return nullptr;
    }

    const uint32_t colors = bitsPerPixel == 1 ? 2 : bitsPerPixel == 4 ? 16 : bitsPerPixel == 8 ? 256 : 0;
    const uint32_t stride = RowStride(width, bitsPerPixel);
    const uint64_t imageSize = static_cast<uint64_t>(stride) * height;

    head_.biSize = sizeof(BitmapInfoHeader);
    head_.biWidth = static_cast<int32_t>(width);
    head_.biHeight = static_cast<int32_t>(height);
    head_.biPlanes = 1;
    head_.biBitCount = static_cast<uint16_t>(bitsPerPixel);
    head_.biCompression = 0;
    head_.biSizeImage = static_cast<uint32_t>(imageSize);
    head_.biClrUsed = colors;
    head_.biClrImportant = 0;
    head_.biXPelsPerMeter = PixelsPerMetre(info_.xDpi);
    head_.biYPelsPerMeter = PixelsPerMetre(info_.yDpi);
    info_.effWidth = stride;
    info_.imageType = formatCode;

    const uint64_t blockSize = sizeof(BitmapInfoHeader) + colors * sizeof(RgbQuad) + imageSize;
    // Zeroed, pixels included: row padding and any pixel an operation leaves unwritten must not
    // carry old heap contents into an output file.
    dib_ = std::calloc(1, static_cast<size_t>(blockSize));
    if (dib_ == nullptr) {
        head_ = BitmapInfoHeader{};
        info_.effWidth = 0;
        SetLastError(kErrorNoMemory);
        return nullptr;
    }
    auto* block = static_cast<uint8_t*>(dib_);
    AlphaDelete();
    std::free(selection_);
    selection_ = nullptr;
    UpdateHeaderCopy();
    info_.pImage = block + sizeof(BitmapInfoHeader) + colors * sizeof(RgbQuad);
    info_.lastColorValid = false;
    return dib_;
}

void CxImage::SetMaxMemory(uint64_t bytes) {
    info_.maxMemory = std::clamp<uint64_t>(bytes, CXIMAGE_MAX_MEMORY, kImageMemoryCeiling);
}

bool CxImage::Destroy() {
    if (IsGhost()) return false;
    std::free(dib_);
    dib_ = nullptr;
    std::free(alpha_);
    alpha_ = nullptr;
    std::free(selection_);
    selection_ = nullptr;
    for (CxImage* layer : layers_) delete layer;
    layers_.clear();
    info_.pImage = nullptr;
    return true;
}

bool CxImage::DestroyFrames() {
    if (IsGhost()) return false;
    for (CxImage* frame : frames_) delete frame;
    frames_.clear();
    return true;
}

void CxImage::Ghost(const CxImage& source) {
    // A ghost never owns anything, so whatever this object held is released first.
    if (!IsGhost()) {
        DestroyFrames();
        Destroy();
    }
    dib_ = source.dib_;
    head_ = source.head_;
    info_ = source.info_;
    alpha_ = source.alpha_;
    selection_ = source.selection_;
    info_.pGhost = &source;
}

bool CxImage::CopyDeep(const CxImage& source) {
    if (!Destroy()) return false;
    info_ = source.info_;
    info_.pGhost = nullptr;
    info_.pImage = nullptr;
    info_.lastColorValid = false;
    if (source.dib_ == nullptr) {
        head_ = source.head_;
        info_.effWidth = 0;
        return true;
    }
    if (Create(source.GetWidth(), source.GetHeight(), source.GetBpp(), source.GetType()) ==
        nullptr) {
        return false;
    }
    info_.lastError = source.info_.lastError;
    head_ = source.head_;
    UpdateHeaderCopy();
    auto* block = static_cast<uint8_t*>(dib_);
    const auto* sourceBlock = static_cast<const uint8_t*>(source.dib_);
    std::memcpy(block + sizeof(BitmapInfoHeader), sourceBlock + sizeof(BitmapInfoHeader),
                GetPaletteSize());
    std::memcpy(info_.pImage, source.info_.pImage, head_.biSizeImage);
    const size_t planeSize = static_cast<size_t>(GetWidth()) * GetHeight();
    if (source.alpha_ != nullptr && AlphaCreate()) {
        std::memcpy(alpha_, source.alpha_, planeSize);
    }
    if (source.selection_ != nullptr) {
        selection_ = static_cast<uint8_t*>(std::malloc(planeSize));
        if (selection_ != nullptr) std::memcpy(selection_, source.selection_, planeSize);
    }
    return true;
}

bool CxImage::Transfer(CxImage& source, bool transferFrames) {
    if (&source == this) return true;
    if (source.IsGhost()) {
        // A ghost's buffers belong to someone else: take a private copy instead.
        CxImage owned;
        if (!owned.CopyDeep(source)) return false;
        return Transfer(owned, transferFrames);
    }
    if (!Destroy()) return false;
    dib_ = source.dib_;
    head_ = source.head_;
    info_ = source.info_;
    info_.pGhost = nullptr;
    alpha_ = source.alpha_;
    selection_ = source.selection_;
    layers_ = std::move(source.layers_);
    if (transferFrames) {
        DestroyFrames();
        frames_ = std::move(source.frames_);
        source.frames_.clear();
    }
    source.dib_ = nullptr;
    source.alpha_ = nullptr;
    source.selection_ = nullptr;
    source.layers_.clear();
    source.head_ = BitmapInfoHeader{};
    source.info_.pImage = nullptr;
    source.info_.effWidth = 0;
    return true;
}

void CxImage::SetClrImportant(uint32_t colors) {
    head_.biClrImportant = colors;
    info_.lastColorValid = false;
    UpdateHeaderCopy();
}

void CxImage::SetType(int32_t formatCode) {
    if (formatCode >= 0 && formatCode < kFormatCodeCount) info_.imageType = formatCode;
}

uint32_t CxImage::GetSize() const {
    if (dib_ == nullptr) return 0;
    return static_cast<uint32_t>(sizeof(BitmapInfoHeader)) + GetPaletteSize() + head_.biSizeImage;
}

uint8_t* CxImage::GetBits(uint32_t row) {
    if (dib_ == nullptr || row >= GetHeight()) return nullptr;
    return info_.pImage + static_cast<size_t>(row) * info_.effWidth;
}

const uint8_t* CxImage::GetBits(uint32_t row) const {
    if (dib_ == nullptr || row >= GetHeight()) return nullptr;
    return info_.pImage + static_cast<size_t>(row) * info_.effWidth;
}

// ---- Palette ----------------------------------------------------------------------------------

RgbQuad* CxImage::GetPalette() const {
    if (dib_ == nullptr || head_.biClrUsed == 0) return nullptr;
    return reinterpret_cast<RgbQuad*>(static_cast<uint8_t*>(dib_) + sizeof(BitmapInfoHeader));
}

RgbQuad CxImage::GetPaletteColor(uint8_t index) const {
    const RgbQuad* palette = GetPalette();
    if (palette == nullptr || index >= head_.biClrUsed) return RgbQuad{0, 0, 0, 0};
    return palette[index];
}

void CxImage::SetPaletteColor(uint8_t index, RgbQuad color) {
    RgbQuad* palette = GetPalette();
    if (palette == nullptr || index >= head_.biClrUsed) return;
    palette[index] = color;
    info_.lastColorValid = false;
}

void CxImage::SetPalette(const RgbQuad* source, uint32_t count) {
    RgbQuad* palette = GetPalette();
    if (palette == nullptr || source == nullptr) return;
    if (count > head_.biClrUsed) count = head_.biClrUsed;
    std::memcpy(palette, source, count * sizeof(RgbQuad));
    info_.lastColorValid = false;
}

void CxImage::SetGrayPalette() {
    RgbQuad* palette = GetPalette();
    const uint32_t count = head_.biClrUsed;
    if (palette == nullptr || count < 2) return;
    const uint32_t step = 255 / (count - 1);
    for (uint32_t i = 0; i < count; ++i) {
        const auto grey = static_cast<uint8_t>(i * step);
        palette[i] = RgbQuad{grey, grey, grey, 0};
    }
    info_.lastColorValid = false;
}

void CxImage::SetStdPalette() {
    RgbQuad* palette = GetPalette();
    if (palette == nullptr) return;
    const uint32_t count = head_.biClrUsed;
    if (count == 2) {
        palette[0] = RgbQuad{0, 0, 0, 0};
        palette[1] = RgbQuad{255, 255, 255, 0};
    } else {
        for (uint32_t i = 0; i < count && i < 16; ++i) {
            palette[i] = RgbQuad{kStandard16[i][2], kStandard16[i][1], kStandard16[i][0], 0};
        }
        // Beyond the 16 display colours: a 6x6x6 colour cube, then a grey ramp.
        for (uint32_t i = 16; i < count; ++i) {
            const uint32_t n = i - 16;
            if (n < 216) {
                palette[i] = RgbQuad{static_cast<uint8_t>((n % 6) * 51),
                                     static_cast<uint8_t>((n / 6 % 6) * 51),
                                     static_cast<uint8_t>((n / 36) * 51), 0};
            } else {
                const auto grey = static_cast<uint8_t>(8 + (n - 216) * 6);
                palette[i] = RgbQuad{grey, grey, grey, 0};
            }
        }
    }
    info_.lastColorValid = false;
}

uint8_t CxImage::GetNearestIndex(RgbQuad color) {
    const RgbQuad* palette = GetPalette();
    if (palette == nullptr) return 0;
    if (info_.lastColorValid && info_.lastColor.rgbRed == color.rgbRed &&
        info_.lastColor.rgbGreen == color.rgbGreen && info_.lastColor.rgbBlue == color.rgbBlue) {
        return info_.lastColorIndex;
    }
    uint32_t count = head_.biClrImportant != 0 ? head_.biClrImportant : head_.biClrUsed;
    if (count > head_.biClrUsed) count = head_.biClrUsed;
    int32_t best = 200000;
    uint32_t bestIndex = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t dr = palette[i].rgbRed - color.rgbRed;
        const int32_t dg = palette[i].rgbGreen - color.rgbGreen;
        const int32_t db = palette[i].rgbBlue - color.rgbBlue;
        const int32_t distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
            best = distance;
            bestIndex = i;
            if (distance == 0) break;
        }
    }
    info_.lastColor = color;
    info_.lastColorIndex = static_cast<uint8_t>(bestIndex);
    info_.lastColorValid = true;
    return info_.lastColorIndex;
}

// ---- Pixels -----------------------------------------------------------------------------------

bool CxImage::IsInside(int32_t x, int32_t y) const {
    return dib_ != nullptr && x >= 0 && y >= 0 && x < head_.biWidth && y < head_.biHeight;
}

uint8_t CxImage::GetPixelIndex(int32_t x, int32_t y) const {
    if (!IsInside(x, y) || head_.biBitCount > 8) return 0;
    return IndexAt(info_.pImage + static_cast<size_t>(y) * info_.effWidth, static_cast<uint32_t>(x),
                   head_.biBitCount);
}

void CxImage::SetPixelIndex(int32_t x, int32_t y, uint8_t index) {
    if (!IsInside(x, y) || head_.biBitCount > 8) return;
    PutIndex(info_.pImage + static_cast<size_t>(y) * info_.effWidth, static_cast<uint32_t>(x),
             head_.biBitCount, index);
}

RgbQuad CxImage::GetPixelColor(int32_t x, int32_t y) const {
    if (!IsInside(x, y)) return RgbQuad{0, 0, 0, 0};
    if (head_.biClrUsed != 0) return GetPaletteColor(GetPixelIndex(x, y));
    const uint8_t* pixel = info_.pImage + static_cast<size_t>(y) * info_.effWidth + x * 3u;
    return RgbQuad{pixel[0], pixel[1], pixel[2], 0};
}

void CxImage::Clear(uint8_t value) {
    if (dib_ == nullptr) return;
    if (head_.biBitCount == 1 && value != 0) value = 255;
    if (head_.biBitCount == 4) value = static_cast<uint8_t>((value & 0x0F) * 17);
    std::memset(info_.pImage, value, head_.biSizeImage);
}

// ---- Alpha plane ------------------------------------------------------------------------------

bool CxImage::AlphaCreate() {
    if (dib_ == nullptr) return false;
    if (alpha_ != nullptr) return true;
    const size_t size = static_cast<size_t>(GetWidth()) * GetHeight();
    alpha_ = static_cast<uint8_t*>(std::malloc(size));
    if (alpha_ == nullptr) return false;
    std::memset(alpha_, info_.alphaMax, size);
    return true;
}

void CxImage::AlphaDelete() {
    if (IsGhost()) {
        alpha_ = nullptr;
        return;
    }
    std::free(alpha_);
    alpha_ = nullptr;
}

// ---- Information block ------------------------------------------------------------------------

void CxImage::SetXDPI(int32_t dpi) {
    if (dpi <= 0) dpi = 96;
    info_.xDpi = dpi;
    head_.biXPelsPerMeter = PixelsPerMetre(dpi);
    UpdateHeaderCopy();
}

void CxImage::SetYDPI(int32_t dpi) {
    if (dpi <= 0) dpi = 96;
    info_.yDpi = dpi;
    head_.biYPelsPerMeter = PixelsPerMetre(dpi);
    UpdateHeaderCopy();
}

void CxImage::SetJpegQuality(int32_t quality) {
    info_.jpegQuality = static_cast<float>(static_cast<uint8_t>(quality & 0xFF));
}

void CxImage::SetCodecOption(uint32_t value, int32_t formatCode) {
    if (!IsValidFormatCode(formatCode)) formatCode = info_.imageType;
    if (formatCode < 0 || formatCode >= kFormatCodeCount) formatCode = 0;
    info_.codecOptions[formatCode] = value;
}

uint32_t CxImage::GetCodecOption(int32_t formatCode) const {
    if (!IsValidFormatCode(formatCode)) formatCode = info_.imageType;
    if (formatCode < 0 || formatCode >= kFormatCodeCount) formatCode = 0;
    return info_.codecOptions[formatCode];
}

void CxImage::SetLastError(std::string_view message) {
    info_.lastError.assign(message.substr(0, kLastErrorCapacity));
}

void CxImage::CopyInfo(const CxImage& source) {
    const uint32_t effWidth = info_.effWidth;
    uint8_t* pixels = info_.pImage;
    const CxImage* ghost = info_.pGhost;
    const RgbQuad lastColor = info_.lastColor;
    const uint8_t lastColorIndex = info_.lastColorIndex;
    const bool lastColorValid = info_.lastColorValid;
    info_ = source.info_;
    info_.effWidth = effWidth;
    info_.pImage = pixels;
    info_.pGhost = ghost;
    // The cache describes this image's palette, not the source's.
    info_.lastColor = lastColor;
    info_.lastColorIndex = lastColorIndex;
    info_.lastColorValid = lastColorValid;
    head_.biXPelsPerMeter = PixelsPerMetre(info_.xDpi);
    head_.biYPelsPerMeter = PixelsPerMetre(info_.yDpi);
    UpdateHeaderCopy();
}

void CxImage::UpdateHeaderCopy() {
    if (dib_ != nullptr) std::memcpy(dib_, &head_, sizeof(BitmapInfoHeader));
}
