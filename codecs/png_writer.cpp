// PNG writer on libpng: grey, palette or RGB by the image's depth and palette, a white
// background chunk, physical pixel size in pixels per metre, optional Adam7 interlacing.

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <utility>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/grey_palette.h"
#include "codecs/image_stream.h"
#include "image/ximage.h"

namespace {

constexpr uint32_t kPngInterlaced = 1;

// Everything the guarded part touches, prepared outside it so that a library jump never skips
// a destructor.
struct PngJob {
    CxImage* image = nullptr;
    ImageStream* stream = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    int channels = 3;
    bool alpha = false;
    std::vector<png_color>* palette = nullptr;  // written only for a colour palette
    std::vector<png_byte>* row = nullptr;
};

// The library's default handlers print; this program prints nothing, it only reports failure.
void FailSilently(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

void WriteData(png_structp png, png_bytep data, png_size_t length) {
    auto* stream = static_cast<ImageStream*>(png_get_io_ptr(png));
    if (stream->Write(data, 1, length) != length) png_error(png, "Write Error");
}

void FlushData(png_structp png) {
    auto* stream = static_cast<ImageStream*>(png_get_io_ptr(png));
    if (!stream->Flush()) png_error(png, "Flush Error");
}

// Fills job.row with stored row `row` in PNG sample order.
void PrepareRow(PngJob& job, uint32_t row) {
    CxImage& image = *job.image;
    png_byte* out = job.row->data();
    const uint32_t width = image.GetWidth();
    if (job.alpha) {
        const uint8_t* alpha = image.AlphaPointer() + static_cast<size_t>(row) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const RgbQuad c =
                image.GetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(row));
            if (job.channels == 2) {
                *out++ = c.rgbRed;
            } else {
                *out++ = c.rgbRed;
                *out++ = c.rgbGreen;
                *out++ = c.rgbBlue;
            }
            *out++ = alpha[x];
        }
        return;
    }
    std::memcpy(out, image.GetBits(row), image.GetEffWidth());
    if (job.colorType == PNG_COLOR_TYPE_RGB) {
        for (uint32_t x = 0; x < width; ++x) std::swap(out[3 * x], out[3 * x + 2]);
    }
}

// The library part of the writer; any library error returns through the jump buffer.
void WritePng(PngJob& job) {
    CxImage& image = *job.image;
    png_set_write_fn(job.png, job.stream, WriteData, FlushData);

    png_color_16 background{};
    background.index = 0;
    background.red = 255;
    background.green = 255;
    background.blue = 255;
    background.gray = 0;
    png_set_bKGD(job.png, job.info, &background);

    const BitmapInfoHeader& head = image.GetHeader();
    png_set_pHYs(job.png, job.info, static_cast<png_uint_32>(head.biXPelsPerMeter),
                 static_cast<png_uint_32>(head.biYPelsPerMeter), PNG_RESOLUTION_METER);

    const int interlace = image.GetCodecOption(kFormatPng) == kPngInterlaced ? PNG_INTERLACE_ADAM7
                                                                             : PNG_INTERLACE_NONE;
    png_set_IHDR(job.png, job.info, image.GetWidth(), image.GetHeight(), job.bitDepth,
                 job.colorType, interlace, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (job.palette != nullptr)
        png_set_PLTE(job.png, job.info, job.palette->data(), static_cast<int>(job.palette->size()));
    png_write_info(job.png, job.info);

    const int passes = png_set_interlace_handling(job.png);
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t row = image.GetHeight(); row-- > 0;) {
            PrepareRow(job, row);
            png_write_row(job.png, job.row->data());
        }
    }
    png_write_end(job.png, job.info);
}

bool RunGuarded(PngJob& job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    WritePng(job);
    return true;
}

}  // namespace

bool EncodePng(CxImage& image, ImageStream* stream) {
    if (!CheckWriterPreconditions(image, stream)) return false;

    PngJob job;
    job.image = &image;
    job.stream = stream;
    const uint32_t bpp = image.GetBpp();
    const bool paletted = bpp <= 8;
    // Below 8 bits a grey PNG sample means a fraction of white, not the level itself, so an
    // identity palette there stays a palette.
    const bool grey = bpp == 8 && HasIdentityGreyPalette(image);
    job.channels = paletted ? 1 : 3;
    job.bitDepth = static_cast<int>(bpp) / job.channels;
    job.colorType = !paletted ? PNG_COLOR_TYPE_RGB
                    : grey    ? PNG_COLOR_TYPE_GRAY
                              : PNG_COLOR_TYPE_PALETTE;
    // Alpha rides with 8-bit samples; a palette has no alpha colour type, so it keeps its own.
    if (image.HasAlpha() && (job.colorType == PNG_COLOR_TYPE_RGB || (grey && bpp == 8))) {
        job.alpha = true;
        job.colorType |= PNG_COLOR_MASK_ALPHA;
        job.channels = job.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 2;
        job.bitDepth = 8;
    }

    std::vector<png_color> palette;
    if (job.colorType == PNG_COLOR_TYPE_PALETTE) {
        uint32_t entries =
            image.GetClrImportant() != 0 ? image.GetClrImportant() : image.GetNumColors();
        entries = std::min(entries, image.GetNumColors());
        for (uint32_t i = 0; i < entries; ++i) {
            const RgbQuad c = image.GetPaletteColor(static_cast<uint8_t>(i));
            palette.push_back(png_color{c.rgbRed, c.rgbGreen, c.rgbBlue});
        }
        job.palette = &palette;
    }
    const size_t sampleBytes =
        static_cast<size_t>(job.bitDepth) / 8 * job.channels * image.GetWidth();
    std::vector<png_byte> row(std::max<size_t>(sampleBytes, image.GetEffWidth()) + 8);
    job.row = &row;

    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, FailSilently, IgnoreWarning);
    if (job.png == nullptr) {
        image.SetLastError("Failed to create PNG structure");
        return false;
    }
    job.info = png_create_info_struct(job.png);
    if (job.info == nullptr) {
        png_destroy_write_struct(&job.png, nullptr);
        image.SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    const bool written = RunGuarded(job);
    png_destroy_write_struct(&job.png, &job.info);
    if (!written) {
        image.SetLastError("Error saving PNG file");
        return false;
    }
    return true;
}
