#pragma once
// What the front end hands the driver: every option of a run, with its defaults, and the
// documents to convert. Filled once by the command line and then handed to the conversion by
// reference.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/output_formats.h"

constexpr size_t kSettingsTextCapacity = 255;
constexpr size_t kExtensionCapacity = 63;
constexpr size_t kCommandLineCapacity = 1023;

struct Settings {
    // Output selection.
    int32_t outputPdf = 0;
    int32_t imageType = kDefaultOutputFormat.type;
    std::string imageExtension = std::string(kDefaultOutputFormat.extension);
    std::string outputFolder;

    // Page images.
    int32_t resolutionX = 72;
    int32_t resolutionY = 72;
    int32_t bitsPerPixel = 24;
    int32_t tiffCompression = -1;
    int32_t jpegQuality = 75;
    int32_t rotation = 0;
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;
    int32_t multiPageTiff = 0;

    // PDF.
    int32_t pdfEncrypt = 0;
    int32_t pdfRestrictions = 0;
    int32_t pdfKeyLength = 40;
    std::string pdfOwnerPassword;
    std::string pdfUserPassword;
    std::string pdfTitle;
    std::string pdfSubject;
    std::string pdfAuthor;
    std::string pdfKeywords;
    std::string pdfCreator;
    std::string pdfProducer;

    // Text overlay, handed to the post-processor.
    int32_t overlayEnabled = 0;
    std::string overlayText;
    int32_t overlayColor = 255;
    int32_t overlaySize = 16;
    int32_t overlayPosition = 1;
    int32_t overlayRotation = 0;
    int32_t overlayX = 0;
    int32_t overlayY = 0;
    int32_t overlayFlag = 0;

    // Full path of the help file beside the program.
    std::string helpFilePath;
};

// The XPS documents to convert, in order.
using FileList = std::vector<std::string>;

// Puts every field back to its default and sets the help file path.
void ResetSettings(Settings& settings);

// Copies text into target, cut at capacity characters.
void AssignCapped(std::string& target, std::string_view text, size_t capacity);
