// EMF and WMF output: the page is not encoded but recorded as GDI drawing calls, a white
// background rectangle and one stretched transfer of the page bitmap.

#include <cerrno>
#include <cstdio>
#include <string>

#include "codecs/image_file.h"
#include "conversion/failure_text.h"
#include "conversion/format_routines.h"
#include "conversion/image_converter.h"
#include "conversion/output_file.h"
#include "image/ximage.h"
#include "platform/platform.h"
#include "platform/replacement_file.h"
#include "protocol/byte_order.h"

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

bool LoadPage(ImageConverter& converter, CxImage& image) {
    if (converter.inputFiles.empty()) return FailWith(converter, "no page file was given");
    if (converter.outputPath.empty()) return FailWith(converter, kNoOutputPath);
    const std::string& page = converter.inputFiles.front();
    image.SetMaxMemory(converter.imageMemoryBytes);
    if (!Load(image, page, kFormatBmp))
        return FailWith(converter, FailureText("cannot read the page file", page, image.GetLastError()));
    // Every non-zero rotation goes through free rotation here, quarter turns included.
    if (converter.rotation != 0 && !image.Rotate(static_cast<float>(converter.rotation)))
        return FailPreparing(converter, image, kRotate);
    return image.IsValid() || FailWith(converter, FailureText("cannot read the page file", page, "no pixels"));
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
bool ReserveTemporaryBeside(ImageConverter& converter, platform::ReplacementFile& temporary) {
    errno = 0;
    if (temporary.Create(converter.outputPath, "wb") && temporary.Close()) return true;
    return FailWith(converter, FailureText("cannot create", converter.outputPath, SystemErrorText(errno)));
}

// The recorder writes the whole file when it closes, and does not tell whether that close
// (where a full disk shows) worked: the file must be as long as its header says. The EMF header
// holds the byte count at offset 48, the WMF header the count of 16-bit words at offset 6.
bool RecordedCompletely(const std::string& path, bool enhanced) {
    uint8_t header[52] = {};
    std::FILE* file = platform::OpenFile(path, "rb");
    if (file == nullptr) return false;
    const size_t read = std::fread(header, 1, sizeof(header), file);
    // A recording is far below 2 GiB, the most a long offset tells on every system.
    const long end = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    std::fclose(file);
    if (end < 0) return false;
    const uintmax_t size = static_cast<uintmax_t>(end);
    if (enhanced) return read >= 52 && GetLe32(header + 48) == size;
    return read >= 10 && uintmax_t{GetLe32(header + 6)} * 2 == size;
}

// The end of a recording: the file is put in place when the drawing, the recorder's close and
// the file itself are all complete.
bool PlaceRecording(ImageConverter& converter, platform::ReplacementFile& temporary, bool enhanced,
                    bool closed, int closeError, bool drawn) {
    const std::string& target = converter.outputPath;
    bool complete = false;
    if (!closed && closeError == 0) {
        FailWith(converter, "the metafile recorder could not record the page");
    } else if (!closed || !RecordedCompletely(temporary.path(), enhanced)) {
        FailWith(converter, FailureText("cannot write", target,
                                        closeError != 0 ? SystemErrorText(closeError)
                                                        : "the file came out shorter than recorded"));
    } else if (!drawn) {
        FailWith(converter, "cannot draw the page into the metafile");
    } else {
        complete = true;
    }
    if (!complete) {
        temporary.Discard();
        return false;
    }
    errno = 0;
    if (!temporary.Commit()) return FailWith(converter, RenameFailureText(target));
    return true;
}

std::string StartFailure(const std::string& target, int error) {
    return FailureText("cannot create", target,
                       error != 0 ? SystemErrorText(error) : "the metafile recorder could not start");
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
    platform::ReplacementFile temporary;
    if (!ReserveTemporaryBeside(converter, temporary)) {
        gdi::ReleaseDC(screen);
        return false;
    }
    errno = 0;
    gdi::HDC dc = gdi::CreateEnhMetaFileA(screen, temporary.path(), &frame, kEmfDescription);
    if (dc == nullptr) {
        FailWith(converter, StartFailure(converter.outputPath, errno));
        gdi::ReleaseDC(screen);
        temporary.Discard();
        return false;
    }
    DrawBackground(dc, size);
    const int drawn = Draw(image, dc, 0, 0, size.width, size.height, gdi::kRopSourceCopy);
    image.Destroy();
    errno = 0;
    gdi::HENHMETAFILE metafile = gdi::CloseEnhMetaFile(dc);
    const int closeError = errno;
    if (metafile != nullptr) gdi::DeleteEnhMetaFile(metafile);
    gdi::ReleaseDC(screen);
    return PlaceRecording(converter, temporary, true, metafile != nullptr, closeError, drawn != 0);
}

bool RunWmfFormatRoutine(ImageConverter& converter) {
    CxImage image(kFormatUnknown);
    if (!LoadPage(converter, image)) return false;
    const DrawingSize size = SizeFor(converter, image);

    platform::ReplacementFile temporary;
    if (!ReserveTemporaryBeside(converter, temporary)) return false;
    errno = 0;
    gdi::HDC dc = gdi::CreateMetaFileA(temporary.path());
    if (dc == nullptr) {
        FailWith(converter, StartFailure(converter.outputPath, errno));
        temporary.Discard();
        return false;
    }
    DrawBackground(dc, size);
    // The pixels-per-metre values travel in the bitmap header recorded with the transfer.
    image.SetXDPI(converter.xResolution);
    image.SetYDPI(converter.yResolution);
    const int drawn = Draw(image, dc, 0, 0, size.width, size.height, gdi::kRopSourceCopy);
    image.Destroy();
    errno = 0;
    gdi::HMETAFILE metafile = gdi::CloseMetaFile(dc);
    const int closeError = errno;
    if (metafile != nullptr) gdi::DeleteMetaFile(metafile);
    return PlaceRecording(converter, temporary, false, metafile != nullptr, closeError, drawn != 0);
}
