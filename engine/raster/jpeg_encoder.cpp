#include "engine/raster/jpeg_encoder.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE declared before it
#include <cstdlib>
// clang-format off
#include <jpeglib.h>
// clang-format on

namespace engine {
namespace {

struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1);
}

void IgnoreJpegMessage(j_common_ptr) {}

// The one function that the library's error jump lands in: only plain data lives here.
bool Compress(jpeg_compress_struct& info, ErrorExit& error, const uint8_t* rows, int width,
              int height, std::ptrdiff_t stride, int step, int quality, unsigned char** data,
              unsigned long* size, unsigned char* line) {
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, data, size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const uint8_t* source = rows + static_cast<std::ptrdiff_t>(info.next_scanline) * stride;
        for (int x = 0; x < width; ++x) {
            line[3 * x] = source[x * step];
            line[3 * x + 1] = source[x * step + 1];
            line[3 * x + 2] = source[x * step + 2];
        }
        JSAMPROW row = line;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

bool EncodeRgbJpeg(const uint8_t* rows, int width, int height, std::ptrdiff_t stride, int step,
                   int quality, unsigned char** data, size_t* size) noexcept {
    *data = nullptr;
    *size = 0;
    if (width <= 0 || height <= 0 || step < 3) return false;
    auto* line = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(width) * 3));
    if (!line) return false;
    jpeg_compress_struct info{};
    ErrorExit error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnJpegError;
    error.manager.output_message = IgnoreJpegMessage;
    unsigned char* encoded = nullptr;
    unsigned long encodedSize = 0;
    const bool ok = Compress(info, error, rows, width, height, stride, step, quality, &encoded,
                             &encodedSize, line);
    std::free(line);
    if (!ok) {
        std::free(encoded);
        return false;
    }
    *data = encoded;
    *size = encodedSize;
    return true;
}

}  // namespace engine
