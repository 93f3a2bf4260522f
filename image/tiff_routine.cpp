// The TIFF format routine of the convert operation: prepares one page and either saves it as
// its own file or encodes it for the document's multi-page file, which is written under a
// temporary name beside the target and renamed into place when the converter is destroyed.

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "codecs/image_stream.h"

#include "image/format_routines.h"
#include "image/image_converter.h"
#include "image/temporary_file.h"
#include "image/tiff_page_append.h"
#include "image/ximage_tif.h"

namespace {

// Compression value of the TIFF codec slot for the converter's compression option and depth.
uint32_t ChooseCompression(int32_t option, int32_t depth, bool greyscale) {
    switch (option) {
        case 0:
            return kTiffNone;
        case 1:
            return kTiffLzw;
        case 2:
            if (depth == 1) return kTiffCcittFax4;
            if (depth == 4) return kTiffLzw;
            if (depth == 8) return greyscale ? kTiffJpegYCbCr : kTiffLzw;
            return kTiffJpegYCbCr;
        case 3:
            return depth == 1 ? kTiffCcittFax4 : kTiffPackBits;
        case 5:
            if (depth == 1) return kTiffCcittFax3;
            break;
        case 6:
            if (depth == 1) return kTiffCcittRle;
            break;
        default:
            break;
    }
    if (depth == 1) return kTiffCcittFax4;
    if (depth == 4 || depth == 8) return kTiffLzw;
    return kTiffJpegYCbCr;
}

void PreparePage(ImageConverter& converter, CxImageTIF& image) {
    const int32_t paletteDepth = converter.paletteDepth;
    if (paletteDepth == 1 || paletteDepth == 4 || paletteDepth == 8) {
        if (paletteDepth == 8 && converter.compression == 7) converter.greyscale = 1;
        if (converter.greyscale != 0 && paletteDepth != 1) image.ConvertToGrey();
        // A 256-level grey page bound for JPEG stays the grey ramp: reduced to a palette, it
        // could not be JPEG-compressed at all.
        const bool greyForJpeg = converter.greyscale != 0 && paletteDepth == 8 && converter.compression == 2;
        if (converter.effectiveDepth == 24 && converter.compression != 7 && !greyForJpeg)
            ApplyPaletteReduction(image, paletteDepth);
    }
    image.SetXDPI(converter.xResolution);
    image.SetYDPI(converter.yResolution);
    const bool palettised = paletteDepth == 1 || paletteDepth == 4 || paletteDepth == 8;
    const int32_t depth = palettised ? paletteDepth : converter.effectiveDepth;
    image.SetCodecOption(ChooseCompression(converter.compression, depth, converter.greyscale != 0),
                         kFormatTiff);
    image.SetJpegQuality(converter.quality);
    ApplyRotationStep(image, converter.rotation);
    if (converter.width > 0 && converter.height > 0)
        image.Resample(converter.width, converter.height);
}

}  // namespace

bool RunTiffFormatRoutine(ImageConverter& converter, const std::string& inputFile) {
    // The caller counts a false result as a failed page.
    CxImageTIF* image = converter.multiPageImage.get();
    if (image == nullptr) return false;
    // A page that cannot be read must not re-encode the pixels of the page before it.
    if (!image->Load(inputFile, kFormatBmp)) return false;
    PreparePage(converter, *image);
    return image->Save(converter.outputPath, kFormatTiff);
}

bool EncodeMultiPageTiffPage(ImageConverter& converter, const std::string& inputFile, int32_t pageNumber,
                             std::vector<uint8_t>& bytes) {
    bytes.clear();
    // A fresh image per page: nothing of one page can reach the next, whichever thread runs it.
    std::unique_ptr<CxImageTIF> image(new (std::nothrow) CxImageTIF);
    if (image == nullptr || !image->Load(inputFile, kFormatBmp)) return false;
    PreparePage(converter, *image);
    MemoryImageStream stream;
    if (!image->EncodePage(&stream, pageNumber)) return false;
    bytes = stream.TakeBuffer();
    return true;
}

bool AppendMultiPageTiffPage(ImageConverter& converter, const std::vector<uint8_t>& bytes) {
    if (!converter.multiPageAppender) {
        if (converter.multiPageFile != nullptr || converter.multiPageOutputPath.empty()) return false;
        converter.multiPageFile =
            OpenTemporaryBeside(converter.multiPageOutputPath, "w+b", converter.multiPageTempPath);
        if (converter.multiPageFile == nullptr) return false;
        converter.multiPageAppender.reset(new (std::nothrow) TiffPageAppender(converter.multiPageFile));
        if (!converter.multiPageAppender) return false;
    }
    return converter.multiPageAppender->Append(bytes);
}

bool FinishMultiPageTiff(ImageConverter& converter) {
    const uint32_t pagesWritten = converter.multiPageAppender ? converter.multiPageAppender->PagesWritten() : 0;
    const bool broken = converter.multiPageAppender && converter.multiPageAppender->Broken();
    converter.multiPageAppender.reset();
    if (converter.multiPageFile == nullptr) return true;

    bool finished = !broken && std::fflush(converter.multiPageFile) == 0 &&
                    std::ferror(converter.multiPageFile) == 0;
    finished = std::fclose(converter.multiPageFile) == 0 && finished;
    converter.multiPageFile = nullptr;

    const bool placed = PutTemporaryInPlace(finished && pagesWritten > 0, converter.multiPageTempPath,
                                            converter.multiPageOutputPath);
    converter.multiPageTempPath.clear();
    // With no page in it the file is simply not made; the pages have counted as failures.
    return placed || pagesWritten == 0;
}
