// The JPEG-2000 family entry point and its JP2 / JPC writer on OpenJPEG. The options text
// "rate=R" sets the target size as R times the uncompressed size; R of 1 or more is lossless.

#include <openjpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/encoders.h"
#include "codecs/grey_palette.h"
#include "codecs/image_stream.h"
#include "codecs/jpeg2000_family.h"
#include "image/ximage.h"

void ComponentView::ReadRow(uint32_t topRow, uint8_t* out) const {
    const uint32_t stored = height - 1 - topRow;
    const uint8_t* bits = image->GetBits(stored);
    if (grey) {
        if (image->GetBpp() == 8) {
            std::memcpy(out, bits, width);
            return;
        }
        for (uint32_t x = 0; x < width; ++x)
            out[x] = image->GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(stored));
        return;
    }
    for (uint32_t x = 0; x < width; ++x) {
        out[3 * x] = bits[3 * x + 2];
        out[3 * x + 1] = bits[3 * x + 1];
        out[3 * x + 2] = bits[3 * x];
    }
}

namespace {

constexpr int kMaxResolutions = 6;

// The stream as OpenJPEG sees it: offsets count from where the file starts in the stream.
struct StreamTarget {
    ImageStream* stream;
    int64_t base;
};

OPJ_SIZE_T WriteBytes(void* buffer, OPJ_SIZE_T size, void* user) {
    auto* target = static_cast<StreamTarget*>(user);
    if (target->stream->Write(buffer, 1, size) != size) return static_cast<OPJ_SIZE_T>(-1);
    return size;
}

OPJ_OFF_T SkipBytes(OPJ_OFF_T count, void* user) {
    auto* target = static_cast<StreamTarget*>(user);
    return target->stream->Seek(count, SEEK_CUR) ? count : -1;
}

OPJ_BOOL SeekTo(OPJ_OFF_T position, void* user) {
    auto* target = static_cast<StreamTarget*>(user);
    return target->stream->Seek(target->base + position, SEEK_SET) ? OPJ_TRUE : OPJ_FALSE;
}

void KeepMessage(const char* message, void* user) {
    auto* text = static_cast<std::string*>(user);
    if (text->empty() && message != nullptr) text->assign(message);
}
void IgnoreMessage(const char*, void*) {}

// Reads the rate out of the options text ("rate=R"); 1 (lossless) when it holds none.
double ParseRate(const std::string& options) {
    const auto at = options.find("rate=");
    if (at == std::string::npos) return 1.0;
    return std::strtod(options.c_str() + at + 5, nullptr);
}

// Wavelet levels that the smaller side of the image can carry.
int ResolutionsFor(uint32_t width, uint32_t height) {
    const uint32_t side = std::min(width, height);
    int resolutions = kMaxResolutions;
    while (resolutions > 1 && (side >> (resolutions - 1)) == 0) --resolutions;
    return resolutions;
}

opj_image_t* BuildImage(const ComponentView& view) {
    const uint32_t components = view.Components();
    opj_image_cmptparm_t parameters[3];
    std::memset(parameters, 0, sizeof(parameters));
    for (uint32_t c = 0; c < components; ++c) {
        parameters[c].dx = 1;
        parameters[c].dy = 1;
        parameters[c].w = view.width;
        parameters[c].h = view.height;
        parameters[c].prec = 8;
        parameters[c].sgnd = 0;
    }
    opj_image_t* image =
        opj_image_create(components, parameters, view.grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
    if (image == nullptr) return nullptr;
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = view.width;
    image->y1 = view.height;
    return image;
}

void FillImage(const ComponentView& view, opj_image_t& image, std::vector<uint8_t>& row) {
    const uint32_t components = view.Components();
    for (uint32_t y = 0; y < view.height; ++y) {
        view.ReadRow(y, row.data());
        const size_t offset = static_cast<size_t>(y) * view.width;
        for (uint32_t c = 0; c < components; ++c) {
            OPJ_INT32* out = image.comps[c].data + offset;
            for (uint32_t x = 0; x < view.width; ++x) out[x] = row[x * components + c];
        }
    }
}

bool Compress(opj_codec_t* codec, opj_image_t* image, opj_stream_t* stream) {
    return opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
           opj_end_compress(codec, stream);
}

}  // namespace

bool WriteOpenJpeg(const ComponentView& view, ImageStream& stream, bool codestreamOnly,
                   const std::string& options, std::string& error) {
    opj_image_t* image = BuildImage(view);
    if (image == nullptr) {
        error = "error : jas_image_create";
        return false;
    }
    std::vector<uint8_t> row(static_cast<size_t>(view.width) * view.Components());
    FillImage(view, *image, row);

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.irreversible = 0;
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    const double rate = ParseRate(options);
    // Rate is output size over raw size; the encoder takes raw size over output size.
    parameters.tcp_rates[0] = rate >= 1.0 ? 0.0f : static_cast<float>(1.0 / std::max(rate, 0.001));
    parameters.numresolution = ResolutionsFor(view.width, view.height);
    // The reversible colour transform decorrelates red, green and blue before coding.
    parameters.tcp_mct = view.Components() == 3 ? 1 : 0;

    opj_codec_t* codec = opj_create_compress(codestreamOnly ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
    std::string libraryMessage;
    StreamTarget target{&stream, stream.Tell()};
    opj_stream_t* output = nullptr;
    bool written = false;
    if (codec != nullptr) {
        opj_set_error_handler(codec, KeepMessage, &libraryMessage);
        opj_set_warning_handler(codec, IgnoreMessage, nullptr);
        opj_set_info_handler(codec, IgnoreMessage, nullptr);
        output = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    }
    if (output == nullptr) {
        error = "error: cannot open standard output";
    } else {
        opj_stream_set_user_data(output, &target, nullptr);
        opj_stream_set_write_function(output, WriteBytes);
        opj_stream_set_skip_function(output, SkipBytes);
        opj_stream_set_seek_function(output, SeekTo);
        written = opj_setup_encoder(codec, &parameters, image) && Compress(codec, image, output);
        if (written) written = stream.Flush() && stream.Error() == 0;
        if (!written) error = "error: cannot encode image";
        opj_stream_destroy(output);
    }
    if (codec != nullptr) opj_destroy_codec(codec);
    opj_image_destroy(image);
    return written;
}

bool EncodeJpeg2000Family(CxImage& image, ImageStream* stream, int32_t formatCode) {
    if (!CheckWriterPreconditions(image, stream)) return false;
    const bool paletted = image.GetBpp() <= 8;
    const bool grey = HasIdentityGreyPalette(image);
    if (paletted && !grey) {
        image.SetLastError("JasPer can save only RGB or GrayScale images");
        return false;
    }
    if (formatCode == kFormatPgx && !paletted) {
        image.SetLastError("PGX can save only GrayScale images");
        return false;
    }

    ComponentView view;
    view.image = &image;
    view.grey = grey;
    view.width = image.GetWidth();
    view.height = image.GetHeight();

    // The text is kept in this form because it is what drives the encoder's target size.
    const float rate = image.GetJpegQuality() * 0.01f;
    std::string options(32, '\0');
    const int length =
        std::snprintf(options.data(), options.size(), "rate=%.3f", static_cast<double>(rate));
    options.resize(length > 0 ? std::min<size_t>(static_cast<size_t>(length), options.size() - 1)
                              : 0);

    std::string error;
    bool written = false;
    switch (formatCode) {
        case kFormatJp2:
            written = WriteOpenJpeg(view, *stream, false, options, error);
            break;
        case kFormatJpc:
            written = WriteOpenJpeg(view, *stream, true, options, error);
            break;
        case kFormatPgx:
            written = WritePgx(view, *stream, error);
            break;
        case kFormatPnm:
            written = WritePnm(view, *stream, error);
            break;
        case kFormatRas:
            written = WriteSunRaster(view, *stream, error);
            break;
        default:
            error = "error: cannot encode image";
            break;
    }
    if (!written) image.SetLastError(error);
    return written;
}
