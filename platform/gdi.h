#pragma once
// The GDI calls that metafile output makes: a reference screen, enhanced (EMF) and plain
// Windows (WMF) metafile recording contexts, pens, brushes, a rectangle and a stretched DIB
// transfer. Names and argument orders follow GDI so that the Windows build can hand them on
// unchanged; on POSIX the calls write the same records through libUEMF.

#include <cstdint>
#include <string>

namespace platform::gdi {

struct DeviceContext;  // a screen or metafile recording context
struct GdiObject;      // a pen or brush (stock or created)
struct Metafile;       // a finished metafile (the file stays on disk)

using HDC = DeviceContext*;
using HGDIOBJ = GdiObject*;
using HPEN = GdiObject*;
using HBRUSH = GdiObject*;
using HENHMETAFILE = Metafile*;
using HMETAFILE = Metafile*;

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// GetDeviceCaps indices.
constexpr int kHorzSize = 4;  // millimetres
constexpr int kVertSize = 6;
constexpr int kHorzRes = 8;  // pixels
constexpr int kVertRes = 10;

constexpr int kPenSolid = 0;
constexpr int kStretchColorOnColor = 3;
constexpr uint32_t kDibRgbColors = 0;
constexpr uint32_t kRopSourceCopy = 0x00CC0020;

// The screen context (GetDC with no window); release it with ReleaseDC.
HDC GetDC();
int ReleaseDC(HDC dc);
int GetDeviceCaps(HDC dc, int index);

// Starts recording into the file at path; nullptr when the file cannot be created. frame is
// in hundredths of a millimetre; description is stored as given, followed by two null
// characters (application name, empty picture name).
HDC CreateEnhMetaFileA(HDC reference, const std::string& path, const Rect* frame,
                       const std::string& description);
// Writes the file and ends recording; nullptr when the file could not be written completely.
HENHMETAFILE CloseEnhMetaFile(HDC dc);
bool DeleteEnhMetaFile(HENHMETAFILE metafile);

// A plain Windows metafile on disk, without a placeable header.
HDC CreateMetaFileA(const std::string& path);
HMETAFILE CloseMetaFile(HDC dc);
bool DeleteMetaFile(HMETAFILE metafile);

HPEN CreatePen(int style, int width, uint32_t colorRef);
HBRUSH CreateSolidBrush(uint32_t colorRef);
// Returns the object of the same kind that was selected before, or nullptr on failure.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// A context's initial pen and brush (stock objects) are never deleted; true for them as in GDI.
bool DeleteObject(HGDIOBJ object);

bool Rectangle(HDC dc, int left, int top, int right, int bottom);
// Returns the previous mode, 0 on failure.
int SetStretchBltMode(HDC dc, int mode);
// info points at a BITMAPINFOHEADER followed by its colour table; bits at the pixel rows.
// Returns the number of source scan lines, 0 on failure.
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const void* info, uint32_t usage,
                  uint32_t rop);

}  // namespace platform::gdi
