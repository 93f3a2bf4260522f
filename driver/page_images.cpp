#include "driver/page_images.h"

#include <algorithm>
#include <cstdio>

#include "driver/conversions.h"
#include "driver/path_parts.h"
#include "driver/raster_job.h"
#include "platform/platform.h"

namespace {

constexpr const char* kPageFolderPrefix = "mtmp";

bool Contains(std::initializer_list<int32_t> values, int32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// The depth values each output type can write; anything else falls back to the type's default.
int32_t NormaliseBits(int32_t imageType, int32_t bits) {
    switch (imageType) {
        case kOutputJpeg: case kOutputJp2: case kOutputRas: case kOutputJpc:
            return Contains({7, 24}, bits) ? bits : 24;
        case kOutputBmp: case kOutputPng: case kOutputTiff: case kOutputPcx:
            return Contains({1, 3, 4, 7, 8, 24}, bits) ? bits : 24;
        case kOutputGif:
            return Contains({1, 3, 4, 7, 8}, bits) ? bits : 8;
        case kOutputTga:
            return Contains({7, 8, 24}, bits) ? bits : 24;
        default:
            return bits;
    }
}

std::string PageFileName(const std::string& folder, const std::string& baseName, int page) {
    char number[16];
    std::snprintf(number, sizeof(number), "_%03d.bmp", page);
    return folder + baseName + number;
}

// Converts the pages of one document; returns false when any output failed.
bool ConvertDocumentPages(Settings& settings, const PageFileList& pages, const std::string& pageFolder,
                          const std::string& baseName, const std::string& outputFolder) {
    bool allWritten = true;
    if (settings.imageType == kOutputTiff && settings.multiPageTiff == 1) {
        const ImgConvHandle handle = ImgConvCreate();
        if (handle > 0) {
            const std::string output = outputFolder + baseName + ".tif";
            ImgConvSetOption(handle, kOptionMultiPagePath, output.c_str(), 0, 0);
            ImgConvSetOption(handle, kOptionMultiPage, nullptr, 1, 0);
            for (size_t page = 1; page <= pages.size(); ++page)
                ImgConvAddFile(handle, PageFileName(pageFolder, baseName, static_cast<int>(page)).c_str());
            ApplyConverterSettings(handle, settings);
            if (!ImgConvConvert(handle)) allWritten = false;
        } else {
            allWritten = false;
        }
        if (handle > 0 && !ImgConvDestroy(handle)) allWritten = false;
        return allWritten;
    }
    for (const std::string& page : pages) {
        const ImgConvHandle handle = ImgConvCreate();
        if (handle <= 0) {
            allWritten = false;
            continue;
        }
        const std::string output = outputFolder + SplitPath(page).baseName + settings.imageExtension;
        ImgConvSetOption(handle, kOptionOutputPath, output.c_str(), 0, 0);
        ImgConvAddFile(handle, page.c_str());
        ApplyConverterSettings(handle, settings);
        if (!ImgConvConvert(handle)) allWritten = false;
        if (!ImgConvDestroy(handle)) allWritten = false;
    }
    return allWritten;
}

}  // namespace

void CollectPageFiles(std::string folder, PageFileList& pages) {
    if (folder.empty() || folder.back() != platform::kSeparator) folder += platform::kSeparator;
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder(folder, entries)) return;
    const size_t first = pages.size();
    for (const platform::FolderEntry& entry : entries) {
        if (!entry.isFolder) pages.push_back(folder + entry.name);
    }
    // Page order makes the run repeatable whatever order the file system lists them in.
    std::sort(pages.begin() + static_cast<std::ptrdiff_t>(first), pages.end());
}

void DeletePageFiles(const std::string& folder, const PageFileList& pages) {
    for (const std::string& page : pages) platform::RemoveFile(page);
    platform::RemoveFolder(folder);
}

void ApplyConverterSettings(ImgConvHandle handle, Settings& settings) {
    if (settings.imageWidth > 0 && settings.imageHeight > 0) {
        ImgConvSetOption(handle, kOptionWidth, nullptr, settings.imageWidth, 0);
        ImgConvSetOption(handle, kOptionHeight, nullptr, settings.imageHeight, 0);
    }
    if (settings.rotation > 0) ImgConvSetOption(handle, kOptionRotation, nullptr, settings.rotation, 0);
    ImgConvSetOption(handle, kOptionXResolution, nullptr, settings.resolutionX, 0);
    ImgConvSetOption(handle, kOptionYResolution, nullptr, settings.resolutionY, 0);

    settings.bitsPerPixel = NormaliseBits(settings.imageType, settings.bitsPerPixel);
    int32_t depth = settings.bitsPerPixel;
    if (settings.bitsPerPixel == 3) depth = 4;
    if (settings.bitsPerPixel == 7) depth = 8;
    if (settings.bitsPerPixel == 3 || settings.bitsPerPixel == 7)
        ImgConvSetOption(handle, kOptionGreyscale, nullptr, 1, 0);
    ImgConvSetOption(handle, kOptionDepth, nullptr, depth, 0);

    if (settings.tiffCompression == -1) {
        if (depth == 1) settings.tiffCompression = 4;
        if (depth == 4 || depth == 8) settings.tiffCompression = 1;
        if (depth == 24) settings.tiffCompression = 2;
    }
    ImgConvSetOption(handle, kOptionCompression, nullptr, settings.tiffCompression, 0);
    ImgConvSetOption(handle, kOptionOutputType, nullptr, settings.imageType, 0);
    ImgConvSetOption(handle, kOptionQuality, nullptr, settings.jpegQuality, 0);
}

int ConvertPageImages(Settings& settings, const FileList& files, int folderMode) {
    int failedDocuments = 0;
    for (const std::string& input : files) {
        const PathParts parts = SplitPath(input);
        // A folder of its own per document: concurrent runs never see each other's pages.
        const std::string pageFolder = platform::MakePrivateTempFolder(kPageFolderPrefix);
        if (pageFolder.empty()) {
            platform::ReportError("xpsconv: " + input + ": no temporary folder for the pages");
            ++failedDocuments;
            continue;
        }
        bool engineSucceeded = false;
        RunRasterJob(input, parts.baseName, pageFolder, settings, &engineSucceeded);
        PageFileList pages;
        CollectPageFiles(pageFolder, pages);
        bool documentFailed = false;
        if (pages.empty()) {
            platform::ReportError("xpsconv: " + input + ": no page was rendered");
            documentFailed = true;
        } else {
            if (!engineSucceeded) {
                // Whatever pages exist are still converted; the document counts as incomplete.
                platform::ReportError("xpsconv: " + input + ": some pages could not be rendered completely");
                documentFailed = true;
            }
            const std::string outputFolder = folderMode == kFolderGiven ? settings.outputFolder : parts.folder;
            if (!ConvertDocumentPages(settings, pages, pageFolder, parts.baseName, outputFolder)) {
                platform::ReportError("xpsconv: " + input + ": some pages could not be converted");
                documentFailed = true;
            }
        }
        if (documentFailed) ++failedDocuments;
        DeletePageFiles(pageFolder, pages);
    }
    return failedDocuments;
}
