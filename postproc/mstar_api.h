#pragma once
// The two entries of the PDF post-processor "mstar.dll", as the converter loads them: ordinal n is
// the exported C symbol mstar_ordinal_n. Texts are single-byte strings; a null pointer counts as
// an empty text.

// The build that makes the library defines MSTAR_EXPORT as its way of exporting an entry.
#ifndef MSTAR_EXPORT
#define MSTAR_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Ordinal 1: the interface version, 1.
typedef int (*MstarInterfaceVersionFn)(void);

// Ordinal 2: post-processes a finished PDF in place. Returns 1 on success, 0 on failure; a failure
// leaves the file as it was.
typedef int (*MstarPostProcessPdfFn)(const char* outputFile, const char* ownerPassword,
                                     const char* userPassword, int encryptFlag,
                                     const char* productText, int overlayOn,
                                     const char* overlayText, int overlayColor, int overlaySize,
                                     int overlayPosition, int overlayRotation, int overlayX,
                                     int overlayY, int overlayFlag);

MSTAR_EXPORT int mstar_ordinal_1(void);

MSTAR_EXPORT int mstar_ordinal_2(const char* outputFile, const char* ownerPassword,
                                 const char* userPassword, int encryptFlag, const char* productText,
                                 int overlayOn, const char* overlayText, int overlayColor,
                                 int overlaySize, int overlayPosition, int overlayRotation,
                                 int overlayX, int overlayY, int overlayFlag);

#ifdef __cplusplus
}
#endif
