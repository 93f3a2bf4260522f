// Quarter turns, free rotation and nearest-pixel resampling.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/ximage.h"
#include "image/packed_pixels.h"

namespace {

constexpr uint32_t kBlock = 64;

// Copies one pixel between images of the same depth.
inline void CopyPixel(const uint8_t* sourceRow, uint32_t sourceX, uint8_t* targetRow,
                      uint32_t targetX, uint32_t bits) {
    if (bits == 24) {
        std::memcpy(targetRow + targetX * 3, sourceRow + sourceX * 3, 3);
    } else {
        PutIndex(targetRow, targetX, bits, IndexAt(sourceRow, sourceX, bits));
    }
}

}  // namespace

// clockwise: new (x, y) = old (W - 1 - y, x); anticlockwise: new (x, y) = old (y, H - 1 - x).
static bool QuarterTurn(CxImage& image, bool clockwise) {
    if (!image.IsValid()) return false;
    const uint32_t oldWidth = image.GetWidth();
    const uint32_t oldHeight = image.GetHeight();
    const uint32_t bits = image.GetBpp();
    CxImage turned;
    turned.SetMaxMemory(image.GetMaxMemory());
    if (turned.Create(oldHeight, oldWidth, bits, image.GetType()) == nullptr) {
        image.SetLastError(turned.GetLastError());
        return false;
    }
    turned.CopyInfo(image);
    turned.SetPalette(image.GetPalette(), image.GetNumColors());
    turned.SetClrImportant(image.GetClrImportant());
    const uint32_t newWidth = oldHeight;
    const uint32_t newHeight = oldWidth;
    for (uint32_t blockY = 0; blockY < newHeight; blockY += kBlock) {
        image.SetProgress(static_cast<int32_t>(static_cast<uint64_t>(blockY) * 100 / newHeight));
        const uint32_t endY = std::min(blockY + kBlock, newHeight);
        for (uint32_t blockX = 0; blockX < newWidth; blockX += kBlock) {
            const uint32_t endX = std::min(blockX + kBlock, newWidth);
            for (uint32_t y = blockY; y < endY; ++y) {
                uint8_t* target = turned.GetBits(y);
                for (uint32_t x = blockX; x < endX; ++x) {
                    const uint32_t sourceX = clockwise ? oldWidth - 1 - y : y;
                    const uint32_t sourceY = clockwise ? x : oldHeight - 1 - x;
                    CopyPixel(image.GetBits(sourceY), sourceX, target, x, bits);
                }
            }
        }
    }
    if (image.HasAlpha() && turned.AlphaCreate()) {
        const uint8_t* alpha = image.AlphaPointer();
        uint8_t* newAlpha = turned.AlphaPointer();
        for (uint32_t y = 0; y < newHeight; ++y) {
            for (uint32_t x = 0; x < newWidth; ++x) {
                const uint32_t sourceX = clockwise ? oldWidth - 1 - y : y;
                const uint32_t sourceY = clockwise ? x : oldHeight - 1 - x;
                newAlpha[static_cast<size_t>(y) * newWidth + x] =
                    alpha[static_cast<size_t>(sourceY) * oldWidth + sourceX];
            }
        }
    }
    return image.Transfer(turned);
}

bool CxImage::RotateRight() { return QuarterTurn(*this, true); }

bool CxImage::RotateLeft() { return QuarterTurn(*this, false); }

bool CxImage::Rotate(float angleDegrees) {
    if (dib_ == nullptr) return false;
    const double pi = 2.0 * std::acos(0.0);
    const double angle = -static_cast<double>(angleDegrees) * pi / 180.0;
    const double cosAngle = std::cos(angle);
    const double sinAngle = std::sin(angle);
    const int32_t width = head_.biWidth;
    const int32_t height = head_.biHeight;

    const float cornersX[4] = {0.0f, static_cast<float>(width * cosAngle),
                               static_cast<float>(-height * sinAngle),
                               static_cast<float>(width * cosAngle - height * sinAngle)};
    const float cornersY[4] = {0.0f, static_cast<float>(width * sinAngle),
                               static_cast<float>(height * cosAngle),
                               static_cast<float>(width * sinAngle + height * cosAngle)};
    const float minX = *std::min_element(cornersX, cornersX + 4);
    const float maxX = *std::max_element(cornersX, cornersX + 4);
    const float minY = *std::min_element(cornersY, cornersY + 4);
    const float maxY = *std::max_element(cornersY, cornersY + 4);
    const int32_t newWidth = static_cast<int32_t>(std::floor(maxX - minX + 0.5));
    const int32_t newHeight = static_cast<int32_t>(std::floor(maxY - minY + 0.5));
    if (newWidth <= 0 || newHeight <= 0) return false;

    CxImage rotated;
    rotated.SetMaxMemory(GetMaxMemory());
    if (rotated.Create(static_cast<uint32_t>(newWidth), static_cast<uint32_t>(newHeight), GetBpp(),
                       GetType()) == nullptr) {
        SetLastError(rotated.GetLastError());
        return false;
    }
    rotated.CopyInfo(*this);
    rotated.SetPalette(GetPalette(), GetNumColors());
    rotated.SetClrImportant(GetClrImportant());
    const bool alpha = HasAlpha() && rotated.AlphaCreate();
    const uint32_t bits = GetBpp();

    // What a source position outside the picture reads as.
    uint8_t outsideIndex = 0;
    RgbQuad outsideColor{0, 0, 0, 0};
    if (bits <= 8) {
        outsideIndex = info_.backgroundIndex >= 0 ? static_cast<uint8_t>(info_.backgroundIndex)
                                                  : IndexAt(GetBits(0), 0, bits);
    } else {
        outsideColor = info_.backgroundIndex == -1 ? GetPixelColor(0, 0) : info_.backgroundColor;
    }

    const int32_t firstY = static_cast<int32_t>(minY);
    const int32_t lastY = static_cast<int32_t>(maxY);
    const int32_t firstX = static_cast<int32_t>(minX);
    const int32_t lastX = static_cast<int32_t>(maxX);
    for (int32_t y = firstY, row = 0; y <= lastY; ++y, ++row) {
        info_.progress = static_cast<int32_t>(100LL * row / newHeight);
        if (info_.escape != 0) break;
        if (row >= newHeight) continue;
        uint8_t* target = rotated.GetBits(static_cast<uint32_t>(row));
        for (int32_t x = firstX, column = 0; x <= lastX && column < newWidth; ++x, ++column) {
            const auto sourceX = static_cast<int64_t>(x * cosAngle + y * sinAngle + 0.5);
            const auto sourceY = static_cast<int64_t>(y * cosAngle - x * sinAngle + 0.5);
            const bool inside = sourceX >= 0 && sourceY >= 0 && sourceX < width && sourceY < height;
            const uint8_t* source = inside ? GetBits(static_cast<uint32_t>(sourceY)) : nullptr;
            if (bits <= 8) {
                PutIndex(target, static_cast<uint32_t>(column), bits,
                         inside ? IndexAt(source, static_cast<uint32_t>(sourceX), bits) : outsideIndex);
            } else if (inside) {
                std::memcpy(target + column * 3, source + sourceX * 3, 3);
            } else {
                target[column * 3 + 0] = outsideColor.rgbBlue;
                target[column * 3 + 1] = outsideColor.rgbGreen;
                target[column * 3 + 2] = outsideColor.rgbRed;
            }
            if (alpha) {
                rotated.AlphaPointer()[static_cast<size_t>(row) * newWidth + column] =
                    inside ? alpha_[static_cast<size_t>(sourceY) * width + sourceX] : 0;
            }
        }
    }
    return Transfer(rotated);
}

bool CxImage::Resample(int32_t newWidth, int32_t newHeight) {
    if (newWidth <= 0 || newHeight <= 0) return false;
    if (dib_ == nullptr) return false;
    if (newWidth == head_.biWidth && newHeight == head_.biHeight) return true;
    const uint32_t bits = GetBpp();
    CxImage resized;
    resized.SetMaxMemory(GetMaxMemory());
    if (resized.Create(static_cast<uint32_t>(newWidth), static_cast<uint32_t>(newHeight), bits,
                       GetType()) == nullptr) {
        SetLastError(resized.GetLastError());
        return false;
    }
    resized.CopyInfo(*this);
    resized.SetPalette(GetPalette(), GetNumColors());
    resized.SetClrImportant(GetClrImportant());

    // A palette image sets each colour through the nearest index; the index an entry maps to
    // is the same for every pixel, so it is looked up once per entry.
    uint8_t indexMap[256];
    for (uint32_t i = 0; i < 256; ++i) indexMap[i] = static_cast<uint8_t>(i);
    if (bits <= 8) {
        for (uint32_t i = 0; i < GetNumColors() && i < 256; ++i) {
            indexMap[i] = resized.GetNearestIndex(GetPaletteColor(static_cast<uint8_t>(i)));
        }
    }

    const float scaleX = static_cast<float>(head_.biWidth) / static_cast<float>(newWidth);
    const float scaleY = static_cast<float>(head_.biHeight) / static_cast<float>(newHeight);
    const uint32_t oldWidth = GetWidth();
    const uint32_t oldHeight = GetHeight();
    std::vector<uint32_t> sourceColumns(static_cast<size_t>(newWidth));
    for (int32_t j = 0; j < newWidth; ++j) {
        sourceColumns[j] = std::min(static_cast<uint32_t>(static_cast<float>(j) * scaleX), oldWidth - 1);
    }
    for (int32_t i = 0; i < newHeight; ++i) {
        info_.progress = static_cast<int32_t>(100LL * i / newHeight);
        if (info_.escape != 0) break;
        const uint32_t sourceY =
            std::min(static_cast<uint32_t>(static_cast<float>(i) * scaleY), oldHeight - 1);
        const uint8_t* source = GetBits(sourceY);
        uint8_t* target = resized.GetBits(static_cast<uint32_t>(i));
        if (bits == 24) {
            for (int32_t j = 0; j < newWidth; ++j) std::memcpy(target + j * 3, source + sourceColumns[j] * 3, 3);
        } else {
            for (int32_t j = 0; j < newWidth; ++j) {
                PutIndex(target, static_cast<uint32_t>(j), bits,
                         indexMap[IndexAt(source, sourceColumns[j], bits)]);
            }
        }
    }
    return Transfer(resized);
}
