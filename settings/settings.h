#pragma once
// What the front end hands the driver: every option of a run, with its defaults, and the
// documents to convert. Filled once by the command line and then handed to the conversion by
// reference.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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
    int32_t pdfKeyLength = 128;  // 40 is weak enough to be searched exhaustively
    // The bytes the security handler keys on (PDFDocEncoding for RC4, prepared UTF-8 for AES),
    // once the command line has been read.
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

    // Batch: how the documents of a run are taken, shared out and reported.
    int32_t jobs = 0;             // documents converted at once; 0: one per core
    bool recursive = false;       // folder inputs include their sub-folders
    bool skipExisting = false;    // a document whose outputs all exist is skipped
    int32_t shardIndex = 0;       // this run converts part shardIndex (0-based) ...
    int32_t shardCount = 1;       // ... of shardCount disjoint parts of the sorted documents
    std::string reportPath;       // JSON Lines report; empty: none
    bool quiet = false;           // no progress, summary or repair lines; errors still shown

    // Full path of the help file beside the program.
    std::string helpFilePath;
};

// One document to convert. Its outputs go into relativeFolder below the output folder: empty,
// or the document's folder relative to the folder input it was found in (with a closing
// separator) when folders are taken with their sub-folders.
struct InputDocument {
    InputDocument(std::string documentPath = {}, std::string folderBelowOutput = {})
        : path(std::move(documentPath)), relativeFolder(std::move(folderBelowOutput)) {}
    std::string path;
    std::string relativeFolder;
    friend bool operator==(const InputDocument&, const InputDocument&) = default;
    friend auto operator<=>(const InputDocument&, const InputDocument&) = default;
};

// The XPS documents to convert, in order.
using FileList = std::vector<InputDocument>;

// Puts every field back to its default and sets the help file path.
void ResetSettings(Settings& settings);

// Copies text into target, cut at capacity characters.
void AssignCapped(std::string& target, std::string_view text, size_t capacity);
