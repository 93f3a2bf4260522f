#pragma once
// The contract between the converter and its PDF post-processor "mstar.dll", included by both
// sides: the entries the converter resolves by number, their types, and the interface version
// they agree on. On Windows the entries are exported by number alone; elsewhere entry n is the
// C symbol mstar_ordinal_n. Texts are single-byte strings; a null pointer counts as an empty
// text.

// The build that makes the library defines MSTAR_EXPORT as its way of exporting an entry.
#ifndef MSTAR_EXPORT
#define MSTAR_EXPORT
#endif

namespace postproc_abi {

constexpr const char* kLibraryFileName = "mstar.dll";

// Raised whenever an entry is added or changes shape: the converter refuses a library that
// answers another version, whose entries may take other arguments. Version 1 had no entry 3.
constexpr int kInterfaceVersion = 2;

constexpr int kVersionOrdinal = 1;
constexpr int kPostProcessPdfOrdinal = 2;
constexpr int kLastFailureOrdinal = 3;

extern "C" {

// Entry 1: the interface version the library implements.
using InterfaceVersionFn = int (*)();

// Entry 2: post-processes a finished PDF in place. Returns 1 on success, 0 on failure; a failure
// leaves the file as it was.
using PostProcessPdfFn = int (*)(const char* outputFile, const char* ownerPassword,
                                 const char* userPassword, int encryptFlag,
                                 const char* productText, int overlayOn, const char* overlayText,
                                 int overlayColor, int overlaySize, int overlayPosition,
                                 int overlayRotation, int overlayX, int overlayY, int overlayFlag);

// Entry 3: why the latest call of entry 2 failed, in words; empty after a success. The text
// belongs to the library and stays valid until its next call.
using LastFailureFn = const char* (*)();

}  // extern "C"

}  // namespace postproc_abi

extern "C" {

MSTAR_EXPORT int mstar_ordinal_1(void);
MSTAR_EXPORT int mstar_ordinal_2(const char* outputFile, const char* ownerPassword,
                                 const char* userPassword, int encryptFlag, const char* productText,
                                 int overlayOn, const char* overlayText, int overlayColor,
                                 int overlaySize, int overlayPosition, int overlayRotation,
                                 int overlayX, int overlayY, int overlayFlag);
MSTAR_EXPORT const char* mstar_ordinal_3(void);

}  // extern "C"
