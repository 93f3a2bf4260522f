// JPEG writer on libjpeg (6b interface): RGB or greyscale, with the codec option bits of the
// image's JPEG slot, JFIF density in dots per inch, rows handed over top row first.

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it (cstdio above).
#include <jerror.h>
#include <jpeglib.h>

#include "codecs/bmp_row_source.h"
#include "codecs/encoders.h"
#include "codecs/grey_palette.h"
#include "codecs/image_stream.h"
#include "image/ximage.h"

namespace {

// Codec option bits of the JPEG slot.
constexpr uint32_t kJpegForceBaseline = 1;
constexpr uint32_t kJpegArithmetic = 2;
constexpr uint32_t kJpegGreyOutput = 4;
constexpr uint32_t kJpegOptimize = 8;
constexpr uint32_t kJpegProgressive = 16;
constexpr uint32_t kJpegSmoothing = 64;
constexpr uint32_t kJpegSubsample422 = 4096;
constexpr uint32_t kJpegSubsample444 = 8192;

// Smoothing applied when the smoothing bit is set; the writer class keeps it at "off".
constexpr int kJpegSmoothingValue = 0;

constexpr size_t kDestinationBufferSize = 4096;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

struct Destination {
    jpeg_destination_mgr pub;
    ImageStream* stream;
    JOCTET* buffer;
};

// Everything the guarded part needs, prepared outside it so that a library jump never skips
// a destructor.
struct JpegJob {
    CxImage* image;
    BmpRowSource* rows;  // when set, the pixels come from here instead of the image
    uint32_t width;
    uint32_t height;
    jpeg_compress_struct cinfo;
    ErrorManager error;
    Destination destination;
    bool grey;
};

void ErrorExit(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

// The library's own messages are not shown anywhere.
void SilentMessage(j_common_ptr) {}

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kDestinationBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (dest->stream->Write(dest->buffer, 1, kDestinationBufferSize) != kDestinationBufferSize)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kDestinationBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    const size_t used = kDestinationBufferSize - dest->pub.free_in_buffer;
    if (used > 0 && dest->stream->Write(dest->buffer, 1, used) != used)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->stream->Flush();
    if (dest->stream->Error() != 0) ERREXIT(cinfo, JERR_FILE_WRITE);
}

void ApplyOptions(JpegJob& job) {
    jpeg_compress_struct& cinfo = job.cinfo;
    const uint32_t options = job.image->GetCodecOption(kFormatJpeg);
    if (options & kJpegArithmetic) cinfo.arith_code = TRUE;
    if (options & kJpegOptimize) cinfo.optimize_coding = TRUE;
    if (options & kJpegGreyOutput) jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    if (options & kJpegSmoothing) cinfo.smoothing_factor = kJpegSmoothingValue;
    const int quality = static_cast<uint8_t>(static_cast<int>(job.image->GetJpegQuality() + 0.5f));
    jpeg_set_quality(&cinfo, quality, (options & kJpegForceBaseline) ? TRUE : FALSE);
    if (options & kJpegProgressive) jpeg_simple_progression(&cinfo);

    // jpeg_set_defaults allocated room for every component, so the chroma entries exist even
    // for a one-component image.
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    if (options & kJpegSubsample422) {
        cinfo.comp_info[0].h_samp_factor = 2;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    if (options & kJpegSubsample444) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }

    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(job.image->GetXDPI());
    cinfo.Y_density = static_cast<UINT16>(job.image->GetYDPI());
}

// Copies stored row `row` into buffer in the order the compressor wants.
void PrepareRow(JpegJob& job, uint32_t row, JSAMPLE* buffer) {
    CxImage& image = *job.image;
    const uint32_t width = image.GetWidth();
    if (job.grey && image.GetBpp() < 8) {
        for (uint32_t x = 0; x < width; ++x)
            buffer[x] = image.GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(row));
        return;
    }
    std::memcpy(buffer, image.GetBits(row), image.GetEffWidth());
    if (image.GetBpp() == 24) {
        for (uint32_t x = 0; x < width; ++x) std::swap(buffer[3 * x], buffer[3 * x + 2]);
    }
}

// The library part of the writer; returns through ErrorExit's jump on any library error.
void CompressImage(JpegJob& job) {
    jpeg_compress_struct& cinfo = job.cinfo;
    CxImage& image = *job.image;
    jpeg_create_compress(&cinfo);
    cinfo.dest = &job.destination.pub;
    cinfo.image_width = job.width;
    cinfo.image_height = job.height;
    cinfo.input_components = job.grey ? 1 : 3;
    // True-colour rows are handed over as stored (blue, green, red): no copy per row.
    const bool storedRows = !job.grey && (job.rows != nullptr || image.GetBpp() == 24);
    cinfo.in_color_space = job.grey ? JCS_GRAYSCALE : (storedRows ? JCS_EXT_BGR : JCS_RGB);
    jpeg_set_defaults(&cinfo);
    ApplyOptions(job);

    jpeg_start_compress(&cinfo, TRUE);
    if (job.rows != nullptr) {
        for (uint32_t row = 0; row < job.height; ++row) {
            auto* stored = const_cast<JSAMPROW>(job.rows->NextRow());
            if (stored == nullptr) ERREXIT(&cinfo, JERR_FILE_READ);
            jpeg_write_scanlines(&cinfo, &stored, 1);
        }
        jpeg_finish_compress(&cinfo);
        return;
    }
    JSAMPARRAY rows = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                 JPOOL_IMAGE, image.GetEffWidth() + 8, 1);
    for (uint32_t row = image.GetHeight(); row-- > 0;) {
        if (storedRows) {
            JSAMPROW stored = image.GetBits(row);
            jpeg_write_scanlines(&cinfo, &stored, 1);
            continue;
        }
        PrepareRow(job, row, rows[0]);
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
}

// Runs the compressor with the library's error exit armed. False when the library gave up.
bool RunGuarded(JpegJob& job) {
    if (setjmp(job.error.jump)) return false;
    CompressImage(job);
    return true;
}

}  // namespace

namespace {

// Sets up the job around image (the settings, and the pixels unless rows are given) and runs it.
bool RunJob(CxImage& image, BmpRowSource* rows, uint32_t width, uint32_t height, bool grey,
            ImageStream* stream) {
    std::vector<JOCTET> buffer(kDestinationBufferSize);
    auto job = std::make_unique<JpegJob>();
    std::memset(job.get(), 0, sizeof(JpegJob));
    job->image = &image;
    job->rows = rows;
    job->width = width;
    job->height = height;
    job->grey = grey;
    job->cinfo.err = jpeg_std_error(&job->error.pub);
    job->error.pub.error_exit = ErrorExit;
    job->error.pub.output_message = SilentMessage;

    job->destination.stream = stream;
    job->destination.buffer = buffer.data();
    job->destination.pub.init_destination = InitDestination;
    job->destination.pub.empty_output_buffer = EmptyOutputBuffer;
    job->destination.pub.term_destination = TermDestination;

    const bool written = RunGuarded(*job);
    jpeg_destroy_compress(&job->cinfo);
    if (!written) {
        image.SetLastError(job->error.message);
        return false;
    }
    return true;
}

}  // namespace

bool EncodeJpeg(CxImage& image, ImageStream* stream) {
    if (!CheckWriterPreconditions(image, stream)) return false;
    const bool grey = HasIdentityGreyPalette(image);
    if (image.GetBpp() <= 8 && !grey) {
        image.SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    return RunJob(image, nullptr, image.GetWidth(), image.GetHeight(), grey, stream);
}

bool EncodeJpegFromRows(CxImage& settings, BmpRowSource& rows, ImageStream* stream) {
    if (stream == nullptr) {
        settings.SetLastError("null file handler");
        return false;
    }
    return RunJob(settings, &rows, rows.Width(), rows.Height(), false, stream);
}
