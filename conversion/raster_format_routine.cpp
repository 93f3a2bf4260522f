// The format routine of the raster outputs, and the failure texts the routines share.

#include <cstdio>
#include <string>
#include <vector>

#include "codecs/bmp_row_source.h"
#include "codecs/encoders.h"
#include "codecs/image_file.h"
#include "codecs/image_stream.h"
#include "conversion/failure_text.h"
#include "conversion/format_routines.h"
#include "conversion/image_converter.h"
#include "conversion/output_file.h"
#include "image/page_steps.h"
#include "image/ximage.h"

bool FailWith(ImageConverter& converter, std::string_view text) {
    converter.lastError.assign(text.substr(0, kLastErrorTextCapacity));
    return false;
}

bool FailPreparing(ImageConverter& converter, const CxImage& image, std::string_view what) {
    std::string text = "cannot ";
    text += what;
    text += ": ";
    text += image.GetLastError().empty() ? "unknown error" : image.GetLastError();
    return FailWith(converter, text);
}

namespace {

enum class StraightResult { kWritten, kFailed, kNotPlain };

// A colour JPEG or PNG page that is neither turned, resized, greyed nor reduced to a palette is
// the page file's rows as they are: they go from the file into the encoder without a page image
// in memory, which halves the memory a page takes and saves copies of it. The bytes are those
// of the general way.
bool IsPlainPage(const ImageConverter& converter) {
    const OutputFormat& output = converter.Format();
    if (converter.greyscale != 0 || converter.rotation != 0 || (converter.width > 0 && converter.height > 0))
        return false;
    if (output.writer == kFormatJpeg) return true;
    return output.writer == kFormatPng && output.codecOption == 0 && converter.paletteDepth != 1 &&
           converter.paletteDepth != 4 && converter.paletteDepth != 8;
}

StraightResult SaveStraightFromBmp(ImageConverter& converter) {
    if (!IsPlainPage(converter)) return StraightResult::kNotPlain;
    FileImageStream input(converter.inputFiles.front().c_str(), "rb");
    BmpRowSource rows;
    if (!input.IsOpen() || !rows.Open(input)) return StraightResult::kNotPlain;

    const int32_t writer = converter.Format().writer;
    CxImage settings(kFormatUnknown);
    settings.SetXDPI(converter.xResolution);
    settings.SetYDPI(converter.yResolution);
    if (writer == kFormatJpeg) {
        settings.SetCodecOption(kJpegPageOptions, kFormatJpeg);
        settings.SetJpegQuality(converter.quality);
    }
    std::string error;
    const bool written = OutputResult::kWritten == WriteOutputFile(
        converter.outputPath, FormatName(writer),
        [&settings, &rows, writer](FileImageStream& output, std::string& why) {
            const bool encoded = writer == kFormatJpeg ? EncodeJpegFromRows(settings, rows, &output)
                                                       : EncodePngFromRows(settings, rows, &output);
            if (encoded) return true;
            why = settings.GetLastError();
            return false;
        },
        error);
    if (written) return StraightResult::kWritten;
    // A page file that stopped giving rows is a read failure, not the writer's.
    if (input.Error() != 0) {
        const int readError = input.SystemError();
        error = FailureText("cannot read the page file", converter.inputFiles.front(),
                            readError != 0 ? SystemErrorText(readError) : "the file could not be read");
    }
    FailWith(converter, error);
    return StraightResult::kFailed;
}

}  // namespace

bool RunRasterFormatRoutine(ImageConverter& converter) {
    const OutputFormat& output = converter.Format();
    if (output.routine != OutputRoutine::kRaster) {
        return FailWith(converter, "output type " + std::to_string(converter.outputType) +
                                       " is not a raster image format");
    }
    if (converter.inputFiles.empty()) return FailWith(converter, "no page file was given");
    if (converter.outputPath.empty()) return FailWith(converter, kNoOutputPath);
    const StraightResult straight = SaveStraightFromBmp(converter);
    if (straight != StraightResult::kNotPlain) return straight == StraightResult::kWritten;

    CxImage image(kFormatUnknown);
    image.SetMaxMemory(converter.imageMemoryBytes);
    // A page that cannot be read yields no output file at all.
    if (!Load(image, converter.inputFiles.front(), kFormatBmp)) {
        return FailWith(converter, FailureText("cannot read the page file", converter.inputFiles.front(),
                                               image.GetLastError()));
    }

    if (output.codecOption != 0) image.SetCodecOption(output.codecOption, output.writer);

    // Each step that cannot be done fails the page: an output without it would pass for good.
    const auto toGrey = [&]() { return image.ConvertToGrey() || FailPreparing(converter, image, kToGrey); };
    const auto reduce = [&](int32_t depth) {
        return ApplyPaletteReduction(image, depth) ||
               FailPreparing(converter, image, ReductionText(depth));
    };
    switch (output.colour) {
        case ColourPreparation::kPalette:
            if (converter.paletteDepth == 1 || converter.paletteDepth == 4 ||
                converter.paletteDepth == 8) {
                if (converter.greyscale == 1 && converter.paletteDepth != 1 && !toGrey()) return false;
                if (converter.effectiveDepth == 24 && !reduce(converter.paletteDepth)) return false;
            }
            break;
        case ColourPreparation::kTga:
            if (converter.paletteDepth == 8) {
                if (converter.greyscale == 1 ? !toGrey() : !reduce(8)) return false;
            }
            break;
        case ColourPreparation::kGreyOnly:
            if (converter.greyscale == 1 && !toGrey()) return false;
            break;
    }

    image.SetXDPI(converter.xResolution);
    image.SetYDPI(converter.yResolution);
    if (output.rotates && !ApplyRotationStep(image, converter.rotation))
        return FailPreparing(converter, image, kRotate);
    if (output.setsQuality) image.SetJpegQuality(converter.quality);
    if (converter.width > 0 && converter.height > 0 && !image.Resample(converter.width, converter.height))
        return FailPreparing(converter, image, ResizeText(converter.width, converter.height));
    std::string error;
    if (!SaveImageFile(image, converter.outputPath, output.writer, error)) return FailWith(converter, error);
    return true;
}
