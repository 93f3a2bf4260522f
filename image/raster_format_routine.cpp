// The format routine of the raster outputs and the preparation steps it shares with the others.

#include <cstdio>
#include <string>
#include <vector>

#include "codecs/bmp_row_source.h"
#include "codecs/encoders.h"
#include "codecs/image_stream.h"
#include "image/format_routines.h"
#include "image/image_converter.h"
#include "image/octree_quantizer.h"
#include "image/temporary_file.h"
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

void ReduceWithQuantizer(CxImage& image, uint32_t colors, uint32_t colorBits, uint32_t bits) {
    OctreeQuantizer quantizer(colors, colorBits);
    if (!quantizer.ProcessImage(image.GetDIB())) return;
    std::vector<RgbQuad> palette(colors, RgbQuad{0, 0, 0, 0});
    const uint32_t produced = quantizer.SetColorTable(palette.data(), colors);
    // Entries the quantizer did not fill repeat its first colour: the nearest-colour search
    // prefers the lower index on a tie, so every pixel still maps to a produced colour.
    for (uint32_t i = produced; i < colors && produced > 0; ++i) palette[i] = palette[0];
    image.DecreaseBpp(bits, false, palette.data(), colors);
}

}  // namespace

void ApplyPaletteReduction(CxImage& image, int32_t paletteDepth) {
    if (!image.IsValid()) return;
    switch (paletteDepth) {
        case 1:
            image.DecreaseBpp(1, false, nullptr, 2);
            break;
        case 4:
            ReduceWithQuantizer(image, 16, 8, 4);
            break;
        case 8:
            ReduceWithQuantizer(image, 256, 7, 8);
            break;
        default:
            break;
    }
}

void ApplyRotationStep(CxImage& image, int32_t rotation) {
    switch (rotation) {
        case 0:
            break;
        case 90:
            image.RotateRight();
            break;
        case 180:
            image.RotateRight();
            image.RotateRight();
            break;
        case 270:
            image.RotateLeft();
            break;
        default:
            image.Rotate(static_cast<float>(rotation));
            break;
    }
}

namespace {

enum class StraightResult { kWritten, kFailed, kNotPlain };

// A colour JPEG page that is neither turned nor resized is the page file's rows as they are:
// they go from the file into the compressor without a page image in memory, which halves the
// memory a page takes and saves a copy of it. The bytes are those of the general way.
StraightResult SaveJpegStraightFromBmp(const ImageConverter& converter) {
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
    std::string temporaryPath;
    std::FILE* file = OpenTemporaryBeside(converter.outputPath, "wb", temporaryPath);
    if (file == nullptr) return StraightResult::kFailed;
    bool written;
    {
        FileImageStream output(file, false);
        written = EncodeJpegFromRows(settings, rows, &output);
        written = written && std::fflush(file) == 0 && std::ferror(file) == 0;
    }
    written = std::fclose(file) == 0 && written;
    return PutTemporaryInPlace(written, temporaryPath, converter.outputPath) ? StraightResult::kWritten
                                                                            : StraightResult::kFailed;
}

}  // namespace

bool RunRasterFormatRoutine(ImageConverter& converter) {
    const RasterOutput* output = FindRasterOutput(converter.outputType);
    if (output == nullptr || converter.inputFiles.empty() || converter.outputPath.empty()) {
        return false;
    }
    const StraightResult straight = SaveJpegStraightFromBmp(converter);
    if (straight != StraightResult::kNotPlain) return straight == StraightResult::kWritten;

    CxImage image(kFormatUnknown);
    // A page that cannot be read yields no output file at all.
    if (!image.Load(converter.inputFiles.front(), kFormatBmp)) return false;

    if (converter.outputType == kOutputJpeg) image.SetCodecOption(kJpegPageOptions, kFormatJpeg);

    switch (output->colour) {
        case ColourPreparation::kPalette:
            if (converter.paletteDepth == 1 || converter.paletteDepth == 4 ||
                converter.paletteDepth == 8) {
                if (converter.greyscale == 1 && converter.paletteDepth != 1) image.ConvertToGrey();
                if (converter.effectiveDepth == 24) ApplyPaletteReduction(image, converter.paletteDepth);
            }
            break;
        case ColourPreparation::kTga:
            if (converter.paletteDepth == 8) {
                if (converter.greyscale == 1) {
                    image.ConvertToGrey();
                } else {
                    ApplyPaletteReduction(image, 8);
                }
            }
            break;
        case ColourPreparation::kGreyOnly:
            if (converter.greyscale == 1) image.ConvertToGrey();
            break;
    }

    image.SetXDPI(converter.xResolution);
    image.SetYDPI(converter.yResolution);
    if (output->rotate) ApplyRotationStep(image, converter.rotation);
    if (output->setQuality) image.SetJpegQuality(converter.quality);
    if (converter.width > 0 && converter.height > 0) image.Resample(converter.width, converter.height);
    return image.Save(converter.outputPath, output->formatCode);
}
