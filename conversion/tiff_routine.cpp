// The TIFF format routine of the convert operation: prepares one page and either saves it as
// its own file or encodes it for the document's multi-page file, which is written under a
// temporary name beside the target and renamed into place when the converter is destroyed.

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "codecs/ximage_tif.h"
#include "conversion/failure_text.h"
#include "conversion/format_routines.h"
#include "conversion/image_converter.h"
#include "conversion/output_file.h"
#include "conversion/tiff_page_append.h"
#include "platform/replacement_file.h"

namespace {

// Compression value of the TIFF codec slot for the converter's compression option and depth.
uint32_t ChooseCompression(int32_t option, int32_t depth, bool greyscale) {
    switch (TiffCompressionWritten(option, depth, greyscale)) {
        case kCompressionNone: return kTiffNone;
        case kCompressionLzw: return kTiffLzw;
        case kCompressionPackBits: return kTiffPackBits;
        case kCompressionG4: return kTiffCcittFax4;
        case kCompressionG3: return kTiffCcittFax3;
        case kCompressionRle: return kTiffCcittRle;
        default: return kTiffJpegYCbCr;
    }
}

// False, with the converter's text set, when a step could not be done.
bool PreparePage(ImageConverter& converter, CxImageTIF& image) {
    const int32_t paletteDepth = converter.paletteDepth;
    if (paletteDepth == 1 || paletteDepth == 4 || paletteDepth == 8) {
        if (paletteDepth == 8 && converter.compression == kCompressionUnreduced) converter.greyscale = 1;
        if (converter.greyscale != 0 && paletteDepth != 1 && !image.ConvertToGrey())
            return FailPreparing(converter, image, kToGrey);
        // A 256-level grey page bound for JPEG stays the grey ramp: reduced to a palette, it
        // could not be JPEG-compressed at all.
        const bool greyForJpeg =
            converter.greyscale != 0 && paletteDepth == 8 && converter.compression == kCompressionJpeg;
        if (converter.effectiveDepth == 24 && converter.compression != kCompressionUnreduced && !greyForJpeg &&
            !ApplyPaletteReduction(image, paletteDepth))
            return FailPreparing(converter, image, ReductionText(paletteDepth));
    }
    image.SetXDPI(converter.xResolution);
    image.SetYDPI(converter.yResolution);
    const bool palettised = paletteDepth == 1 || paletteDepth == 4 || paletteDepth == 8;
    const int32_t depth = palettised ? paletteDepth : converter.effectiveDepth;
    image.SetCodecOption(ChooseCompression(converter.compression, depth, converter.greyscale != 0),
                         kFormatTiff);
    image.SetJpegQuality(converter.quality);
    if (!ApplyRotationStep(image, converter.rotation)) return FailPreparing(converter, image, kRotate);
    if (converter.width > 0 && converter.height > 0 && !image.Resample(converter.width, converter.height))
        return FailPreparing(converter, image, ResizeText(converter.width, converter.height));
    return true;
}

bool FailLoading(ImageConverter& converter, const std::string& inputFile, const CxImage& image) {
    return FailWith(converter, FailureText("cannot read the page file", inputFile, image.GetLastError()));
}

constexpr char kNoMemory[] = "not enough memory for the page";

}  // namespace

bool RunTiffFormatRoutine(ImageConverter& converter, const std::string& inputFile) {
    // The caller counts a false result as a failed page.
    CxImageTIF* image = converter.multiPageImage.get();
    if (image == nullptr) return FailWith(converter, kNoMemory);
    if (converter.outputPath.empty()) return FailWith(converter, kNoOutputPath);
    image->SetMaxMemory(converter.imageMemoryBytes);
    // A page that cannot be read must not re-encode the pixels of the page before it.
    if (!Load(*image, inputFile, kFormatBmp)) return FailLoading(converter, inputFile, *image);
    if (!PreparePage(converter, *image)) return false;
    std::string error;
    if (!SaveImageFile(*image, converter.outputPath, kFormatTiff, error)) return FailWith(converter, error);
    return true;
}

bool EncodeMultiPageTiffPage(ImageConverter& converter, const std::string& inputFile, int32_t pageNumber,
                             std::vector<uint8_t>& bytes) {
    bytes.clear();
    // A fresh image per page: nothing of one page can reach the next, whichever thread runs it.
    std::unique_ptr<CxImageTIF> image(new (std::nothrow) CxImageTIF);
    if (image == nullptr) return FailWith(converter, kNoMemory);
    image->SetMaxMemory(converter.imageMemoryBytes);
    if (!Load(*image, inputFile, kFormatBmp)) return FailLoading(converter, inputFile, *image);
    if (!PreparePage(converter, *image)) return false;
    MemoryImageStream stream;
    if (!image->EncodePage(&stream, pageNumber)) {
        return FailWith(converter, FailureText("the TIFF writer failed", "",
                                               image->GetLastError().empty() ? "the image was refused"
                                                                             : image->GetLastError()));
    }
    bytes = stream.TakeBuffer();
    return true;
}

bool AppendMultiPageTiffPage(ImageConverter& converter, const std::vector<uint8_t>& bytes) {
    const std::string& target = converter.multiPageOutputPath;
    if (!converter.multiPageAppender) {
        if (converter.multiPageFile.stream() != nullptr)
            return FailWith(converter, FailureText("cannot write", target, "the file was left unusable"));
        if (target.empty()) return FailWith(converter, kNoOutputPath);
        errno = 0;
        if (!converter.multiPageFile.Create(target, "w+b"))
            return FailWith(converter, FailureText("cannot create", target, SystemErrorText(errno)));
        converter.multiPageAppender.reset(new (std::nothrow) TiffPageAppender(converter.multiPageFile.stream()));
        if (!converter.multiPageAppender) return FailWith(converter, kNoMemory);
    }
    TiffPageAppender& appender = *converter.multiPageAppender;
    if (appender.Append(bytes)) return true;
    // A failed write carries the system's words; a refused page says what is wrong with it.
    return FailWith(converter, FailureText(appender.Broken() ? "cannot write" : "cannot append the page to",
                                           target, appender.LastError()));
}

bool FinishMultiPageTiff(ImageConverter& converter) {
    const std::string target = converter.multiPageOutputPath;
    const uint32_t pagesWritten = converter.multiPageAppender ? converter.multiPageAppender->PagesWritten() : 0;
    const bool broken = converter.multiPageAppender && converter.multiPageAppender->Broken();
    const std::string brokenReason = broken ? converter.multiPageAppender->LastError() : std::string();
    converter.multiPageAppender.reset();
    if (converter.multiPageFile.stream() == nullptr) return true;

    int writeError = 0;
    if (!converter.multiPageFile.Close()) writeError = errno;
    // With no page in it the file is simply not made; the pages have counted as failures.
    if (pagesWritten == 0) {
        converter.multiPageFile.Discard();
        return true;
    }
    if (broken || writeError != 0) {
        converter.multiPageFile.Discard();
        return FailWith(converter, FailureText("cannot write", target,
                                               broken ? brokenReason : SystemErrorText(writeError)));
    }
    errno = 0;
    if (!converter.multiPageFile.Commit()) return FailWith(converter, RenameFailureText(target));
    return true;
}
