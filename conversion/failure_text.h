#pragma once
// Texts that say why an output or a page failed, for the user. They name files, never pages:
// the caller adds the document and the page.

#include <cstdint>
#include <string>
#include <string_view>

#include "codecs/image_stream.h"  // SystemErrorText

// "lead path: reason" ("lead: reason" without a path), cut at the last-error capacity. When the whole path does not fit, only
// its file name is given, so that the reason is not the part that is lost.
std::string FailureText(std::string_view lead, const std::string& path, std::string_view reason);

// "path is read-only", for an output that is not replaced; cut as FailureText cuts.
std::string ReadOnlyText(const std::string& path);

// Name of a format code for texts ("PNG", "TIFF").
const char* FormatName(int32_t formatCode);

// Texts shared by the format routines.
inline constexpr char kNoOutputPath[] =
    "no output file was named (the path was empty or longer than the system takes)";
inline constexpr char kToGrey[] = "convert the page to grey";
inline constexpr char kRotate[] = "rotate the page";
std::string ReductionText(int32_t depth);               // "reduce the page to 8 bits per pixel"
std::string ResizeText(int32_t width, int32_t height);  // "resize the page to 800 x 600 pixels"
