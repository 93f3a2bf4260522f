// EMF and WMF output: the page is not encoded but recorded as GDI drawing calls, a white
// background rectangle and one stretched transfer of the page bitmap.

#include <cstdio>
#include <string>

#include "image/format_routines.h"
#include "image/temporary_file.h"
#include "image/image_converter.h"
#include "image/ximage.h"
#include "platform/platform.h"

namespace gdi = platform::gdi;

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr char kEmfDescription[] = "www";

struct DrawingSize {
    int width;
    int height;
};

// Without a requested size the metafile shows the page at its own pixel size rather than an
// empty 0 x 0 picture.
DrawingSize SizeFor(const ImageConverter& converter, const CxImage& image) {
    if (converter.width > 0 && converter.height > 0) return {converter.width, converter.height};
    return {static_cast<int>(image.GetWidth()), static_cast<int>(image.GetHeight())};
}

bool LoadPage(const ImageConverter& converter, CxImage& image) {
    if (converter.inputFiles.empty()) return false;
    if (!image.Load(converter.inputFiles.front(), kFormatBmp)) return false;
    // Every non-zero rotation goes through free rotation here, quarter turns included.
    if (converter.rotation != 0 && !image.Rotate(static_cast<float>(converter.rotation))) {
        return false;
    }
    return image.IsValid();
}

void DrawBackground(gdi::HDC dc, const DrawingSize& size) {
    gdi::HPEN pen = gdi::CreatePen(gdi::kPenSolid, 1, kWhite);
    gdi::HBRUSH brush = gdi::CreateSolidBrush(kWhite);
    gdi::HGDIOBJ oldPen = gdi::SelectObject(dc, pen);
    gdi::HGDIOBJ oldBrush = gdi::SelectObject(dc, brush);
    gdi::Rectangle(dc, 0, 0, size.width, size.height);
    if (oldPen != nullptr) gdi::SelectObject(dc, oldPen);
    if (oldBrush != nullptr) gdi::SelectObject(dc, oldBrush);
    gdi::DeleteObject(pen);
    gdi::DeleteObject(brush);
}

// Stretches the whole image into the rectangle; 0 when there is nothing to draw or nowhere
// to draw it.
int Draw(CxImage& image, gdi::HDC dc, int x, int y, int width, int height, uint32_t rop) {
    if (!image.IsValid() || image.GetBits() == nullptr || dc == nullptr) return 0;
    gdi::SetStretchBltMode(dc, gdi::kStretchColorOnColor);
    const int lines =
        gdi::StretchDIBits(dc, x, y, width, height, 0, 0, static_cast<int>(image.GetWidth()),
                           static_cast<int>(image.GetHeight()), image.GetBits(), image.GetDIB(),
                           gdi::kDibRgbColors, rop);
    return lines > 0 ? 1 : 0;
}

// Reserves a fresh name beside target for the recorder, which writes the file by name.
std::string ReserveTemporaryBeside(const std::string& target) {
    std::string temporary;
    if (std::FILE* file = OpenTemporaryBeside(target, "wb", temporary)) std::fclose(file);
    return temporary;
}

// Frame in hundredths of a millimetre of a drawing of the given pixel size on the screen.
gdi::Rect FrameFor(gdi::HDC screen, const DrawingSize& size) {
    const int64_t horzSize = gdi::GetDeviceCaps(screen, gdi::kHorzSize);
    const int64_t vertSize = gdi::GetDeviceCaps(screen, gdi::kVertSize);
    const int horzRes = gdi::GetDeviceCaps(screen, gdi::kHorzRes);
    const int vertRes = gdi::GetDeviceCaps(screen, gdi::kVertRes);
    gdi::Rect frame;
    if (horzRes > 0 && vertRes > 0) {
        frame.right =
            static_cast<int32_t>(static_cast<double>(size.width * horzSize) * 100.0 / horzRes);
        frame.bottom =
            static_cast<int32_t>(static_cast<double>(size.height * vertSize) * 100.0 / vertRes);
    }
    return frame;
}

}  // namespace

bool RunEmfFormatRoutine(ImageConverter& converter) {
    CxImage image(kFormatUnknown);
    if (!LoadPage(converter, image)) return false;
    const DrawingSize size = SizeFor(converter, image);

    gdi::HDC screen = gdi::GetDC();
    const gdi::Rect frame = FrameFor(screen, size);
    const std::string temporary = ReserveTemporaryBeside(converter.outputPath);
    gdi::HDC dc = temporary.empty() ? nullptr : gdi::CreateEnhMetaFileA(screen, temporary, &frame, kEmfDescription);
    if (dc == nullptr) {
        gdi::ReleaseDC(screen);
        PutTemporaryInPlace(false, temporary, converter.outputPath);
        return false;
    }
    DrawBackground(dc, size);
    const int drawn = Draw(image, dc, 0, 0, size.width, size.height, gdi::kRopSourceCopy);
    image.Destroy();
    gdi::HENHMETAFILE metafile = gdi::CloseEnhMetaFile(dc);
    if (metafile != nullptr) gdi::DeleteEnhMetaFile(metafile);
    gdi::ReleaseDC(screen);
    return PutTemporaryInPlace(metafile != nullptr && drawn != 0, temporary, converter.outputPath);
}

bool RunWmfFormatRoutine(ImageConverter& converter) {
    CxImage image(kFormatUnknown);
    if (!LoadPage(converter, image)) return false;
    const DrawingSize size = SizeFor(converter, image);

    const std::string temporary = ReserveTemporaryBeside(converter.outputPath);
    gdi::HDC dc = temporary.empty() ? nullptr : gdi::CreateMetaFileA(temporary);
    if (dc == nullptr) {
        PutTemporaryInPlace(false, temporary, converter.outputPath);
        return false;
    }
    DrawBackground(dc, size);
    // The pixels-per-metre values travel in the bitmap header recorded with the transfer.
    image.SetXDPI(converter.xResolution);
    image.SetYDPI(converter.yResolution);
    const int drawn = Draw(image, dc, 0, 0, size.width, size.height, gdi::kRopSourceCopy);
    image.Destroy();
    gdi::HMETAFILE metafile = gdi::CloseMetaFile(dc);
    if (metafile != nullptr) gdi::DeleteMetaFile(metafile);
    return PutTemporaryInPlace(metafile != nullptr && drawn != 0, temporary, converter.outputPath);
}
