// The format routine of the raster outputs and the preparation steps it shares with the others.

#include <cstdio>
#include <string>
#include <vector>

#include "codecs/bmp_row_source.h"
#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "image/failure_text.h"
#include "image/format_routines.h"
#include "image/image_converter.h"
#include "image/octree_quantizer.h"
#include "image/output_file.h"
#include "image/ximage.h"

namespace {

// How each raster output type is prepared and saved.
enum class ColourPreparation { kPalette, kTga, kGreyOnly };

struct RasterOutput {
    int32_t outputType;
    ColourPreparation colour;
    bool rotate;
    bool setQuality;
    int32_t formatCode;
};

constexpr RasterOutput kRasterOutputs[] = {
    {kOutputBmp, ColourPreparation::kPalette, false, false, kFormatBmp},
    {kOutputJpeg, ColourPreparation::kGreyOnly, true, true, kFormatJpeg},
    {kOutputPng, ColourPreparation::kPalette, true, false, kFormatPng},
    {kOutputGif, ColourPreparation::kPalette, true, false, kFormatGif},
    {kOutputPcx, ColourPreparation::kPalette, true, false, kFormatPcx},
    {kOutputTga, ColourPreparation::kTga, true, false, kFormatTga},
    {kOutputJp2, ColourPreparation::kGreyOnly, true, true, kFormatJp2},
    {kOutputRas, ColourPreparation::kGreyOnly, true, false, kFormatRas},
    {kOutputJpc, ColourPreparation::kGreyOnly, true, true, kFormatJpc},
};

// JPEG encoder flags: optimised Huffman coding (8) and progressive scans (16).
constexpr uint32_t kJpegPageOptions = 24;

const RasterOutput* FindRasterOutput(int32_t outputType) {
    for (const RasterOutput& output : kRasterOutputs) {
        if (output.outputType == outputType) return &output;
    }
    return nullptr;
}

bool ReduceWithQuantizer(CxImage& image, uint32_t colors, uint32_t colorBits, uint32_t bits) {
    // A page already below the depth keeps its pixels.
    if (image.GetBpp() < bits) return true;
    OctreeQuantizer quantizer(colors, colorBits);
    if (!quantizer.ProcessImage(image.GetDIB())) return true;
    std::vector<RgbQuad> palette(colors, RgbQuad{0, 0, 0, 0});
    const uint32_t produced = quantizer.SetColorTable(palette.data(), colors);
    // Entries the quantizer did not fill repeat its first colour: the nearest-colour search
    // prefers the lower index on a tie, so every pixel still maps to a produced colour.
    for (uint32_t i = produced; i < colors && produced > 0; ++i) palette[i] = palette[0];
    return image.DecreaseBpp(bits, false, palette.data(), colors);
}

}  // namespace

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

bool ApplyPaletteReduction(CxImage& image, int32_t paletteDepth) {
    if (!image.IsValid()) return true;
    switch (paletteDepth) {
        case 1:
            return image.DecreaseBpp(1, false, nullptr, 2);
        case 4:
            return ReduceWithQuantizer(image, 16, 8, 4);
        case 8:
            return ReduceWithQuantizer(image, 256, 7, 8);
        default:
            return true;
    }
}

bool ApplyRotationStep(CxImage& image, int32_t rotation) {
    switch (rotation) {
        case 0:
            return true;
        case 90:
            return image.RotateRight();
        case 180:
            return image.RotateRight() && image.RotateRight();
        case 270:
            return image.RotateLeft();
        default:
            return image.Rotate(static_cast<float>(rotation));
    }
}

namespace {

enum class StraightResult { kWritten, kFailed, kNotPlain };

// A colour JPEG page that is neither turned nor resized is the page file's rows as they are:
// they go from the file into the compressor without a page image in memory, which halves the
// memory a page takes and saves a copy of it. The bytes are those of the general way.
StraightResult SaveJpegStraightFromBmp(ImageConverter& converter) {
    if (converter.outputType != kOutputJpeg || converter.greyscale != 0 || converter.rotation != 0 ||
        (converter.width > 0 && converter.height > 0)) {
        return StraightResult::kNotPlain;
    }
    FileImageStream input(converter.inputFiles.front().c_str(), "rb");
    BmpRowSource rows;
    if (!input.IsOpen() || !rows.Open(input)) return StraightResult::kNotPlain;

    CxImage settings(kFormatUnknown);
    settings.SetCodecOption(kJpegPageOptions, kFormatJpeg);
    settings.SetXDPI(converter.xResolution);
    settings.SetYDPI(converter.yResolution);
    settings.SetJpegQuality(converter.quality);
    std::string error;
    const bool written = OutputResult::kWritten == WriteOutputFile(
        converter.outputPath, FormatName(kFormatJpeg),
        [&settings, &rows](FileImageStream& output, std::string& why) {
            if (EncodeJpegFromRows(settings, rows, &output)) return true;
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
    const RasterOutput* output = FindRasterOutput(converter.outputType);
    if (output == nullptr) {
        return FailWith(converter, "output type " + std::to_string(converter.outputType) +
                                       " is not a raster image format");
    }
    if (converter.inputFiles.empty()) return FailWith(converter, "no page file was given");
    if (converter.outputPath.empty()) return FailWith(converter, kNoOutputPath);
    const StraightResult straight = SaveJpegStraightFromBmp(converter);
    if (straight != StraightResult::kNotPlain) return straight == StraightResult::kWritten;

    CxImage image(kFormatUnknown);
    // A page that cannot be read yields no output file at all.
    if (!image.Load(converter.inputFiles.front(), kFormatBmp)) {
        return FailWith(converter, FailureText("cannot read the page file", converter.inputFiles.front(),
                                               image.GetLastError()));
    }

    if (converter.outputType == kOutputJpeg) image.SetCodecOption(kJpegPageOptions, kFormatJpeg);

    // Each step that cannot be done fails the page: an output without it would pass for good.
    const auto toGrey = [&]() { return image.ConvertToGrey() || FailPreparing(converter, image, kToGrey); };
    const auto reduce = [&](int32_t depth) {
        return ApplyPaletteReduction(image, depth) ||
               FailPreparing(converter, image, ReductionText(depth));
    };
    switch (output->colour) {
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
    if (output->rotate && !ApplyRotationStep(image, converter.rotation))
        return FailPreparing(converter, image, kRotate);
    if (output->setQuality) image.SetJpegQuality(converter.quality);
    if (converter.width > 0 && converter.height > 0 && !image.Resample(converter.width, converter.height))
        return FailPreparing(converter, image, ResizeText(converter.width, converter.height));
    std::string error;
    if (!SaveImageFile(image, converter.outputPath, output->formatCode, error)) return FailWith(converter, error);
    return true;
}
