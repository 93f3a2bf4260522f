// The image conversion object and its five handle calls.

#include "conversion/image_converter.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "conversion/format_routines.h"
#include "conversion/tiff_page_append.h"
#include "codecs/ximage_tif.h"
#include "platform/platform.h"

namespace {

constexpr size_t kInputPathCapacity = platform::kLongestSystemPath;

// Live objects by handle. Handles count up and are never handed out twice, so a handle kept
// after destroy finds nothing instead of a newer object.
struct Registry {
    std::mutex mutex;
    std::map<ImgConvHandle, std::shared_ptr<ImageConverter>> objects;
    ImgConvHandle lastHandle = 0;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::shared_ptr<ImageConverter> Find(ImgConvHandle handle) {
    if (handle <= 0) return nullptr;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.objects.find(handle);
    return found == registry.objects.end() ? nullptr : found->second;
}

// Full path of text, or empty when it is longer than capacity: a cut path would name some
// other file.
std::string FullPathWithin(const char* text, size_t capacity) {
    std::string full = platform::FullPath(text);
    return full.size() <= capacity ? full : std::string();
}

int32_t LimitResolution(int32_t value) { return value < 72 ? 72 : value > 600 ? 600 : value; }

bool IsPaletteDepth(int32_t depth) { return depth == 1 || depth == 4 || depth == 8; }

}  // namespace

// Depth rules: the depth the page is brought to and the palette it is reduced to.
void ComputeConverterDepths(ImageConverter& converter) {
    const OutputFormat& format = converter.Format();
    int32_t depth = converter.requestedDepth;
    if (!IsPaletteDepth(depth)) depth = DepthOfBits(format.defaultBits);
    if (format.eightBitsMeansGrey && depth == 8) converter.greyscale = 1;
    switch (format.colour) {
        case ColourPreparation::kGreyOnly:
            depth = converter.greyscale ? 8 : 24;
            break;
        case ColourPreparation::kTga:
            depth = depth == 8 ? 8 : 24;
            break;
        case ColourPreparation::kPalette:
            break;
    }
    converter.effectiveDepth = depth;
    converter.paletteDepth = 0;
    if (IsPaletteDepth(depth)) {
        converter.paletteDepth = depth;
        converter.effectiveDepth = 24;
    }
}

namespace {

constexpr char kNoMemory[] = "not enough memory for the page";

bool RunFormatRoutines(ImageConverter& converter, int32_t& failures) {
    if (converter.inputFiles.empty()) {
        FailWith(converter, "no page file was given");
        ++failures;
        return false;
    }
    auto count = [&failures](bool written) {
        if (!written) ++failures;
    };
    switch (converter.Format().routine) {
        case OutputRoutine::kEnhancedMetafile:
            count(RunEmfFormatRoutine(converter));
            break;
        case OutputRoutine::kWindowsMetafile:
            count(RunWmfFormatRoutine(converter));
            break;
        case OutputRoutine::kTiff:
            if (converter.multiPage) {
                std::vector<uint8_t> bytes;
                int32_t pageNumber = 0;
                for (const std::string& file : converter.inputFiles) {
                    ++pageNumber;
                    count(EncodeMultiPageTiffPage(converter, file, pageNumber, bytes) &&
                          AppendMultiPageTiffPage(converter, bytes));
                }
            } else {
                count(RunTiffFormatRoutine(converter, converter.inputFiles.front()));
            }
            break;
        case OutputRoutine::kRaster:
            count(RunRasterFormatRoutine(converter));
            break;
    }
    return failures == 0;
}

}  // namespace

ImageConverter::ImageConverter() : multiPageImage(new (std::nothrow) CxImageTIF) {}

ImageConverter::~ImageConverter() {
    multiPageImage.reset();
    multiPageAppender.reset();
    // Never finished: the partial file goes with multiPageFile.
}

ImgConvHandle ImgConvCreate() {
    std::shared_ptr<ImageConverter> converter;
    try {
        converter = std::make_shared<ImageConverter>();
    } catch (...) {
        return 0;
    }
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (registry.lastHandle == INT32_MAX) return 0;
    const ImgConvHandle handle = ++registry.lastHandle;
    try {
        registry.objects.emplace(handle, std::move(converter));
    } catch (...) {
        return 0;
    }
    return handle;
}

int ImgConvAddFile(ImgConvHandle handle, const char* path) {
    std::shared_ptr<ImageConverter> converter = Find(handle);
    if (!converter) return 0;
    // An unusable path keeps its place in the list, so that later pages keep their numbers; it
    // simply fails to load.
    converter->inputFiles.push_back(path != nullptr ? FullPathWithin(path, kInputPathCapacity)
                                                    : std::string());
    return 1;
}

void ApplyConverterOption(ImageConverter& c, int32_t code, const char* text, int32_t value) {
    switch (code) {
        case kOptionOutputPath:
            if (text != nullptr && *text != '\0') c.outputPath = FullPathWithin(text, kConverterPathCapacity);
            break;
        case kOptionMultiPagePath:
            if (text != nullptr && *text != '\0') {
                c.multiPageOutputPath = FullPathWithin(text, kConverterPathCapacity);
            }
            break;
        case kOptionOutputType:
            c.outputType = FindOutputFormat(value) != nullptr ? value : kDefaultOutputFormat.type;
            break;
        case kOptionDepth:
            c.requestedDepth = value;
            break;
        case kOptionXResolution:
            c.xResolution = LimitResolution(value);
            break;
        case kOptionYResolution:
            c.yResolution = LimitResolution(value);
            break;
        case kOptionQuality:
            c.quality = value;
            break;
        case kOptionCompression:
            c.compression = value;
            break;
        case kOptionMultiPage:
            c.multiPage = value != 0 ? 1 : 0;
            break;
        case kOptionGreyscale:
            c.greyscale = value != 0 ? 1 : 0;
            break;
        case kOptionWidth:
            if (value > 0) c.width = value;
            break;
        case kOptionHeight:
            if (value > 0) c.height = value;
            break;
        case kOptionRotation:
            if (value > 0) c.rotation = value;
            break;
        case kOptionImageMemory:
            if (value > 0) c.imageMemoryBytes = static_cast<uint64_t>(value) * 1024 * 1024;
            break;
        default:
            break;
    }
}

int ImgConvSetOption(ImgConvHandle handle, int32_t code, const char* text, int32_t value,
                     int32_t /*unused*/) {
    std::shared_ptr<ImageConverter> converter = Find(handle);
    if (!converter) return 0;
    ApplyConverterOption(*converter, code, text, value);
    return 1;
}

int ImgConvConvert(ImgConvHandle handle) {
    std::shared_ptr<ImageConverter> converter = Find(handle);
    if (!converter) return 0;
    converter->lastError.clear();
    ComputeConverterDepths(*converter);
    int32_t failures = 0;
    bool allWritten = false;
    try {
        allWritten = RunFormatRoutines(*converter, failures);
    } catch (const std::bad_alloc&) {
        FailWith(*converter, kNoMemory);
        ++failures;
    }
    return allWritten ? 1 : 0;
}

int ImgConvEncodeTiffPage(ImgConvHandle handle, const char* path, int32_t pageNumber,
                          std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::shared_ptr<ImageConverter> converter = Find(handle);
    if (!converter) return 0;
    converter->lastError.clear();
    if (path == nullptr) {
        FailWith(*converter, "no page file was given");
        return 0;
    }
    ComputeConverterDepths(*converter);
    try {
        return EncodeMultiPageTiffPage(*converter, FullPathWithin(path, kInputPathCapacity), pageNumber, bytes)
                   ? 1
                   : 0;
    } catch (const std::bad_alloc&) {
        bytes.clear();
        FailWith(*converter, kNoMemory);
        return 0;
    }
}

int ImgConvAppendTiffPage(ImgConvHandle handle, const std::vector<uint8_t>& bytes) {
    std::shared_ptr<ImageConverter> converter = Find(handle);
    if (!converter) return 0;
    converter->lastError.clear();
    bool appended = false;
    try {
        appended = AppendMultiPageTiffPage(*converter, bytes);
    } catch (const std::bad_alloc&) {
        appended = FailWith(*converter, kNoMemory);
    }
    return appended ? 1 : 0;
}

namespace {

bool HasMultiPageFileOpen(const ImageConverter& converter) {
    return !converter.multiPageFile.path().empty();
}

}  // namespace

int ImgConvFinishMultiPage(ImgConvHandle handle) {
    std::shared_ptr<ImageConverter> converter = Find(handle);
    if (!converter) return 0;
    converter->lastError.clear();
    if (!HasMultiPageFileOpen(*converter)) return 1;
    return FinishMultiPageTiff(*converter) ? 1 : 0;
}

int ImgConvLastError(ImgConvHandle handle, std::string& text) {
    text.clear();
    std::shared_ptr<ImageConverter> converter = Find(handle);
    if (!converter) return 0;
    text = converter->lastError;
    return 1;
}

int ImgConvDestroy(ImgConvHandle handle) {
    if (handle <= 0) return 0;
    std::shared_ptr<ImageConverter> converter;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.objects.find(handle);
        if (found == registry.objects.end()) return 0;
        converter = std::move(found->second);
        registry.objects.erase(found);
    }
    bool finished = true;
    if (HasMultiPageFileOpen(*converter)) {
        finished = FinishMultiPageTiff(*converter);
    }
    converter.reset();
    return finished ? 1 : 0;
}
