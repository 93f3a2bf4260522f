#pragma once
// The output formats, one row each: the words that name a format on the command line, its type
// number (the number the settings and the converter carry), its extension, the depths it takes,
// how a page is prepared for it, the routine that makes the file and the writer it is saved
// with. Whatever treats formats differently reads this table; a new format is a new row and a
// writer behind its format code.

#include <cstdint>
#include <initializer_list>
#include <string_view>

// Format codes of the image layer: an image's type, the format of a load or save, the slot of a
// codec option. Codes 0..21 are valid; those not named belong to formats nothing here writes.
enum ImageFormat : int32_t {
    kFormatUnknown = 0,
    kFormatBmp = 1,
    kFormatGif = 2,
    kFormatJpeg = 3,
    kFormatPng = 4,
    kFormatTiff = 6,
    kFormatTga = 7,
    kFormatPcx = 8,
    kFormatJp2 = 11,
    kFormatJpc = 12,
    kFormatRas = 15,
};
constexpr int kFormatCodeCount = 22;
constexpr bool IsValidFormatCode(int32_t formatCode) { return formatCode > 0 && formatCode < kFormatCodeCount; }

// Type numbers of the output formats.
enum OutputType : int32_t {
    kOutputBmp = 1,
    kOutputEmf = 2,
    kOutputWmf = 3,
    kOutputJpeg = 4,
    kOutputPng = 5,
    kOutputGif = 6,
    kOutputTiff = 7,
    kOutputPcx = 8,
    kOutputTga = 9,
    kOutputJp2 = 10,
    kOutputRas = 11,
    kOutputJpc = 12,
};

// TIFF compression option codes, as the command line gives them and the converter takes them.
enum TiffCompressionOption : int32_t {
    kCompressionNone = 0,
    kCompressionLzw = 1,
    kCompressionJpeg = 2,
    kCompressionPackBits = 3,
    kCompressionG4 = 4,
    kCompressionG3 = 5,
    kCompressionRle = 6,
    // Not offered on the command line: the page keeps its colours, and 256 levels become grey.
    kCompressionUnreduced = 7,
};

// A set of bits values (-mb): 1, 4, 8 and 24 bits, 3 for 16 greys, 7 for 256 greys.
using BitsSet = uint32_t;
constexpr BitsSet BitsOf(std::initializer_list<int32_t> values) {
    BitsSet set = 0;
    for (int32_t value : values) set |= BitsSet{1} << value;
    return set;
}
// No rule: whatever value was given is kept.
constexpr BitsSet kAnyBits = 0;
constexpr bool TakesBits(BitsSet set, int32_t bits) {
    return set == kAnyBits || (bits >= 0 && bits < 32 && ((set >> bits) & 1) != 0);
}

// The depth a bits value asks for: 3 (16 greys) is 4 bits, 7 (256 greys) is 8 bits.
constexpr int32_t DepthOfBits(int32_t bits) { return bits == 3 ? 4 : bits == 7 ? 8 : bits; }
constexpr bool IsGreyBits(int32_t bits) { return bits == 3 || bits == 7; }

// How a page is brought to the output's colours before it is saved.
enum class ColourPreparation {
    kPalette,   // grey first when asked (not at 1 bit), then reduced to the palette depth
    kTga,       // at 8 bits: grey, or reduced to 256 colours; else true colour
    kGreyOnly,  // 8-bit grey when asked, else true colour
};

// The routine that makes the output file.
enum class OutputRoutine { kRaster, kTiff, kEnhancedMetafile, kWindowsMetafile };

// JPEG encoder flags: optimised Huffman coding (8) and progressive scans (16).
constexpr uint32_t kJpegPageOptions = 24;

struct OutputFormat {
    std::string_view keywords[2];  // a second word may be empty
    OutputType type;
    std::string_view extension;    // dot included
    BitsSet bits;                  // the bits values it takes
    int32_t defaultBits;           // what any other value becomes
    ColourPreparation colour;
    bool eightBitsMeansGrey;       // an 8-bit page is always a grey one
    bool rotates;
    bool setsQuality;
    OutputRoutine routine;
    ImageFormat writer;            // the format code it is saved in
    uint32_t codecOption;          // set in the writer's codec option slot before preparing; 0: none
    std::string_view name;         // for texts ("the PNG writer failed")
};

inline constexpr BitsSet kColourBits = BitsOf({1, 3, 4, 7, 8, 24});
inline constexpr BitsSet kGreyOrTrueColourBits = BitsOf({7, 24});

inline constexpr OutputFormat kOutputFormats[] = {
    {{"bmp", ""}, kOutputBmp, ".bmp", kColourBits, 24, ColourPreparation::kPalette, false, false, false,
     OutputRoutine::kRaster, kFormatBmp, 0, "BMP"},
    {{"emf", ""}, kOutputEmf, ".emf", kAnyBits, 24, ColourPreparation::kPalette, false, false, false,
     OutputRoutine::kEnhancedMetafile, kFormatUnknown, 0, "EMF"},
    {{"wmf", ""}, kOutputWmf, ".wmf", kAnyBits, 24, ColourPreparation::kPalette, false, false, false,
     OutputRoutine::kWindowsMetafile, kFormatUnknown, 0, "WMF"},
    {{"jpeg", "jpg"}, kOutputJpeg, ".jpg", kGreyOrTrueColourBits, 24, ColourPreparation::kGreyOnly, true, true,
     true, OutputRoutine::kRaster, kFormatJpeg, kJpegPageOptions, "JPEG"},
    {{"png", ""}, kOutputPng, ".png", kColourBits, 24, ColourPreparation::kPalette, false, true, false,
     OutputRoutine::kRaster, kFormatPng, 0, "PNG"},
    {{"gif", ""}, kOutputGif, ".gif", BitsOf({1, 3, 4, 7, 8}), 8, ColourPreparation::kPalette, false, true, false,
     OutputRoutine::kRaster, kFormatGif, 0, "GIF"},
    {{"tiff", "tif"}, kOutputTiff, ".tif", kColourBits, 24, ColourPreparation::kPalette, false, true, true,
     OutputRoutine::kTiff, kFormatTiff, 0, "TIFF"},
    {{"pcx", ""}, kOutputPcx, ".pcx", kColourBits, 24, ColourPreparation::kPalette, false, true, false,
     OutputRoutine::kRaster, kFormatPcx, 0, "PCX"},
    {{"tga", ""}, kOutputTga, ".tga", BitsOf({7, 8, 24}), 24, ColourPreparation::kTga, false, true, false,
     OutputRoutine::kRaster, kFormatTga, 0, "TGA"},
    {{"jp2", ""}, kOutputJp2, ".jp2", kGreyOrTrueColourBits, 24, ColourPreparation::kGreyOnly, false, true, true,
     OutputRoutine::kRaster, kFormatJp2, 0, "JP2"},
    {{"ras", ""}, kOutputRas, ".ras", kGreyOrTrueColourBits, 24, ColourPreparation::kGreyOnly, false, true, false,
     OutputRoutine::kRaster, kFormatRas, 0, "RAS"},
    {{"jpc", ""}, kOutputJpc, ".jpc", kGreyOrTrueColourBits, 24, ColourPreparation::kGreyOnly, false, true, true,
     OutputRoutine::kRaster, kFormatJpc, 0, "JPC"},
};

// The format of a type number; nullptr when none has it.
constexpr const OutputFormat* FindOutputFormat(int32_t type) {
    for (const OutputFormat& format : kOutputFormats) {
        if (format.type == type) return &format;
    }
    return nullptr;
}
constexpr const OutputFormat& OutputFormatOf(OutputType type) { return *FindOutputFormat(type); }

// Unknown -t words and type numbers out of range mean JPEG.
inline constexpr const OutputFormat& kDefaultOutputFormat = OutputFormatOf(kOutputJpeg);

// The TIFF compression a depth gets when none was given; -1 for a depth without one.
constexpr int32_t DefaultTiffCompression(int32_t depth) {
    if (depth == 1) return kCompressionG4;
    if (depth == 4 || depth == 8) return kCompressionLzw;
    if (depth == 24) return kCompressionJpeg;
    return -1;
}

// The bits value a format writes for the one asked: its own default when it cannot take it.
constexpr int32_t BitsWritten(const OutputFormat& format, int32_t bits) {
    return TakesBits(format.bits, bits) ? bits : format.defaultBits;
}

// The compression a TIFF page of a depth is written with for the one asked: JPEG holds no
// 1- or 4-bit page nor a palette of colours, the fax schemes only black and white, PackBits
// gives way to group 4 for black and white; what a depth cannot take becomes its default.
constexpr int32_t TiffCompressionWritten(int32_t option, int32_t depth, bool grey) {
    switch (option) {
        case kCompressionNone:
        case kCompressionLzw:
            return option;
        case kCompressionJpeg:
            if (depth == 1) return kCompressionG4;
            if (depth == 4) return kCompressionLzw;
            if (depth == 8) return grey ? kCompressionJpeg : kCompressionLzw;
            return kCompressionJpeg;
        case kCompressionPackBits:
            return depth == 1 ? kCompressionG4 : kCompressionPackBits;
        case kCompressionG4:
        case kCompressionG3:
        case kCompressionRle:
            if (depth == 1) return option;
            break;
        default:
            break;
    }
    const int32_t fallback = DefaultTiffCompression(depth);
    if (fallback == -1 || fallback == option) return kCompressionJpeg;
    return TiffCompressionWritten(fallback, depth, grey);
}
