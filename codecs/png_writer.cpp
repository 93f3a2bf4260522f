// PNG writer on libpng: grey, palette or RGB by the image's depth and palette, a white
// background chunk, physical pixel size in pixels per metre, optional Adam7 interlacing.
// Non-interlaced image data is filtered and deflated band by band here (PngImageData) and
// handed to libpng as finished IDAT chunks; interlaced images go through libpng's row writer.
// A plain colour page can also come straight from its BMP file's rows (EncodePngFromRows).

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <utility>
#include <vector>

#include "codecs/bmp_row_source.h"
#include "codecs/encoders.h"
#include "codecs/grey_palette.h"
#include "codecs/image_stream.h"
#include "codecs/png_image_data.h"
#include "image/ximage.h"

namespace {

constexpr uint32_t kPngInterlaced = 1;

// Everything the guarded part touches, prepared outside it so that a library jump never skips
// a destructor.
struct PngJob {
    CxImage* image = nullptr;  // the pixels, or only the settings when rows come from source
    BmpRowSource* source = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    ImageStream* stream = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    int channels = 3;
    bool alpha = false;
    bool interlaced = false;
    size_t rowBytes = 0;  // one row of PNG samples
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

// Blue-green-red triplets to red-green-blue, copied in one pass.
void CopySwappingRedBlue(const uint8_t* __restrict from, uint8_t* __restrict to, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, from += 3, to += 3) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
    }
}

// Fills out (job.rowBytes) with stored row `row` in PNG sample order.
void PrepareRow(PngJob& job, uint32_t row, png_byte* out) {
    CxImage& image = *job.image;
    const uint32_t width = job.width;
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
    if (job.colorType == PNG_COLOR_TYPE_RGB) {
        CopySwappingRedBlue(image.GetBits(row), out, width);
    } else {
        std::memcpy(out, image.GetBits(row), job.rowBytes);
    }
}

// The chunks before the image data.
void WriteInfo(PngJob& job) {
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

    png_set_IHDR(job.png, job.info, job.width, job.height, job.bitDepth, job.colorType,
                 job.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (job.palette != nullptr)
        png_set_PLTE(job.png, job.info, job.palette->data(), static_cast<int>(job.palette->size()));
    png_write_info(job.png, job.info);
}

// Interlaced rows through libpng's own filtering and compression, then the end.
void WriteInterlacedRows(PngJob& job) {
    CxImage& image = *job.image;
    const int passes = png_set_interlace_handling(job.png);
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t row = image.GetHeight(); row-- > 0;) {
            PrepareRow(job, row, job.row->data());
            png_write_row(job.png, job.row->data());
        }
    }
    png_write_end(job.png, job.info);
}

// Each library call runs on its own guard: any library error returns here through the jump
// buffer, and no C++ object is made or grown while a jump can happen.
bool Guarded(PngJob& job, void (*step)(PngJob&)) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    step(job);
    return true;
}

bool GuardedChunk(PngJob& job, const char* name, const std::vector<uint8_t>& data) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_write_chunk(job.png, reinterpret_cast<png_const_bytep>(name), data.data(), data.size());
    return true;
}

// The image data as IDAT chunks, one per band, then the end chunk.
bool WriteBands(PngJob& job) {
    // Filters for 8-bit samples only, as the PNG recommendation has it: palette indices and
    // packed samples do not predict one another.
    const bool adaptive = job.colorType != PNG_COLOR_TYPE_PALETTE && job.bitDepth >= 8;
    const size_t pixelBytes = static_cast<size_t>(job.bitDepth * job.channels + 7) / 8;
    PngImageData data(job.rowBytes, pixelBytes, adaptive);
    if (!data.Ready()) return false;
    const uint32_t height = job.height;
    const size_t bandRows = std::min<size_t>(data.BandRows(), height);
    std::vector<uint8_t> rows(bandRows * job.rowBytes);
    std::vector<uint8_t> compressed;
    uint32_t stored = height;  // the stored rows run bottom to top
    while (stored > 0) {
        const size_t count = std::min<size_t>(bandRows, stored);
        for (size_t r = 0; r < count; ++r) {
            uint8_t* out = rows.data() + r * job.rowBytes;
            --stored;
            if (job.source == nullptr) {
                PrepareRow(job, stored, out);
                continue;
            }
            const uint8_t* row = job.source->NextRow();
            if (row == nullptr) return false;
            CopySwappingRedBlue(row, out, job.width);
        }
        compressed.clear();
        if (!data.AddRows(rows.data(), count, stored == 0, compressed)) return false;
        if (!GuardedChunk(job, "IDAT", compressed)) return false;
    }
    compressed.clear();
    return GuardedChunk(job, "IEND", compressed) && job.stream->Flush();
}

// The whole file: libpng set up, the chunks before the image data, the image data.
bool WritePng(PngJob& job) {
    CxImage& image = *job.image;
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
    const bool written =
        Guarded(job, WriteInfo) && (job.interlaced ? Guarded(job, WriteInterlacedRows) : WriteBands(job));
    png_destroy_write_struct(&job.png, &job.info);
    if (!written) {
        image.SetLastError("Error saving PNG file");
        return false;
    }
    return true;
}


}  // namespace

bool EncodePng(CxImage& image, ImageStream* stream) {
    if (!CheckWriterPreconditions(image, stream)) return false;

    PngJob job;
    job.image = &image;
    job.stream = stream;
    job.width = image.GetWidth();
    job.height = image.GetHeight();
    const uint32_t bpp = image.GetBpp();
    const bool paletted = bpp <= 8;
    // Below 8 bits a grey PNG sample means a fraction of white, not the level itself, so an
    // identity palette there stays a palette.
    const bool grey = bpp == 8 && HasIdentityGreyPalette(image);
    job.interlaced = image.GetCodecOption(kFormatPng) == kPngInterlaced;
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
    job.rowBytes = (static_cast<size_t>(job.bitDepth) * job.channels * job.width + 7) / 8;
    std::vector<png_byte> row(job.rowBytes);
    job.row = &row;
    return WritePng(job);
}

bool EncodePngFromRows(CxImage& settings, BmpRowSource& rows, ImageStream* stream) {
    if (stream == nullptr) {
        settings.SetLastError("null file handler");
        return false;
    }
    PngJob job;
    job.image = &settings;
    job.source = &rows;
    job.stream = stream;
    job.width = rows.Width();
    job.height = rows.Height();
    // Straight rows are never interlaced: Adam7 passes would need the whole image.
    job.interlaced = false;
    job.rowBytes = size_t{3} * job.width;
    return WritePng(job);
}
