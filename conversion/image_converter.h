#pragma once
// The object that turns page BMP files into one output file, driven through five handle calls.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/output_formats.h"
#include "platform/platform.h"
#include "platform/replacement_file.h"

class CxImageTIF;
class TiffPageAppender;

// Option codes of ImgConvSetOption.
enum ConverterOption : int32_t {
    kOptionOutputPath = 1,
    kOptionMultiPagePath = 2,
    kOptionOutputType = 5,
    kOptionDepth = 6,
    kOptionXResolution = 7,
    kOptionYResolution = 8,
    kOptionQuality = 9,
    kOptionCompression = 10,
    kOptionMultiPage = 11,
    kOptionGreyscale = 12,
    kOptionWidth = 13,
    kOptionHeight = 14,
    kOptionRotation = 15,
    // MiB of pixels one image may hold, never less than the image layer's own limit.
    kOptionImageMemory = 16,
};

// Output paths are taken as long as the system takes them; a longer one names no file.
constexpr size_t kConverterPathCapacity = platform::kLongestSystemPath;

struct ImageConverter {
    ImageConverter();
    ~ImageConverter();

    // The row of the output type (JPEG's, should the type be none of the table's).
    const OutputFormat& Format() const {
        const OutputFormat* format = FindOutputFormat(outputType);
        return format != nullptr ? *format : kDefaultOutputFormat;
    }

    std::vector<std::string> inputFiles;
    std::string outputPath;          // at most kConverterPathCapacity characters
    std::string multiPageOutputPath;  // at most kConverterPathCapacity characters
    int32_t outputType = kDefaultOutputFormat.type;  // always a type of the format table
    int32_t requestedDepth = 24;
    int32_t multiPage = 0;
    int32_t effectiveDepth = 24;
    int32_t compression = kCompressionJpeg;
    int32_t greyscale = 0;
    int32_t quality = 75;
    int32_t rotation = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t xResolution = 150;
    int32_t yResolution = 150;
    int32_t paletteDepth = 0;
    uint64_t imageMemoryBytes = 0;  // 0: the image layer's own limit

    // Multi-page TIFF: the file is opened (under a temporary name beside the target) on the
    // first page and renamed into place on destroy when at least one page went in.
    platform::ReplacementFile multiPageFile;
    std::unique_ptr<TiffPageAppender> multiPageAppender;
    // The image a single-page TIFF is prepared and saved through.
    std::unique_ptr<CxImageTIF> multiPageImage;

    // Why the latest output or page failed, at most kLastErrorTextCapacity characters; cleared
    // when a convert, encode, append or finish call starts. It names files, never pages.
    std::string lastError;
};

constexpr size_t kLastErrorTextCapacity = 255;

// Handles are positive, never reused while the process lives, and never alias a freed object.
using ImgConvHandle = int32_t;

ImgConvHandle ImgConvCreate();
int ImgConvAddFile(ImgConvHandle handle, const char* path);
int ImgConvSetOption(ImgConvHandle handle, int32_t code, const char* text, int32_t value,
                     int32_t unused);
// 1 when every output was written; 0 when something failed (or the handle is invalid).
int ImgConvConvert(ImgConvHandle handle);
int ImgConvDestroy(ImgConvHandle handle);  // 0 for an invalid handle, also 0 when finishing the
                                            // multi-page file failed

// Multi-page TIFF built on several threads. Any handle carrying the document's options encodes
// one page file as page pageNumber into bytes (1), or gives 0 when the page could not be loaded
// or encoded. The handle holding the multi-page path then takes the encoded pages in page order,
// each as its next page (1), or refuses one (0, counted as a failure; the file keeps the pages
// before it). Converting a multi-page handle with all its files added runs these same two steps
// page after page, so both ways give the same bytes. Encoding may run on several handles at
// once; appends to one handle must come one at a time.
int ImgConvEncodeTiffPage(ImgConvHandle handle, const char* path, int32_t pageNumber,
                          std::vector<uint8_t>& bytes);
int ImgConvAppendTiffPage(ImgConvHandle handle, const std::vector<uint8_t>& bytes);
// Closes the multi-page file and renames it into place now rather than on destroy, so that a
// failure can still be asked about: 1 when the file is in place (or there is nothing to
// finish), 0 when it failed or the handle is invalid. Destroy then has nothing left to finish.
int ImgConvFinishMultiPage(ImgConvHandle handle);

// Why the latest convert, encode, append or finish call on the handle failed: 1 with the text
// (empty when nothing failed), 0 with an empty text for an invalid handle. An encode on one
// handle never sets another handle's text.
int ImgConvLastError(ImgConvHandle handle, std::string& text);

// What ImgConvSetOption does to the object behind the handle.
void ApplyConverterOption(ImageConverter& converter, int32_t code, const char* text, int32_t value);
// Steps of convert that fix the effective depth and the palette depth (may set greyscale).
void ComputeConverterDepths(ImageConverter& converter);
