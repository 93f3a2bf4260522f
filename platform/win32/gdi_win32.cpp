// The metafile calls handed on to GDI itself. The handles of platform/gdi.h are GDI's handles
// under other names; the calls are made with "::" so that they reach the system's functions.
#include <cerrno>
#include <initializer_list>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "platform/win32/windows_api.h"

#include "platform/gdi.h"

namespace platform::gdi {

static_assert(kHorzSize == HORZSIZE && kVertSize == VERTSIZE && kHorzRes == HORZRES && kVertRes == VERTRES);
static_assert(kPenSolid == PS_SOLID);
static_assert(kStretchColorOnColor == COLORONCOLOR && kDibRgbColors == DIB_RGB_COLORS && kRopSourceCopy == SRCCOPY);

namespace {

::HDC System(HDC dc) { return reinterpret_cast<::HDC>(dc); }
::HGDIOBJ System(HGDIOBJ object) { return reinterpret_cast<::HGDIOBJ>(object); }
HDC Ours(::HDC dc) { return reinterpret_cast<HDC>(dc); }
HGDIOBJ Ours(::HGDIOBJ object) { return reinterpret_cast<HGDIOBJ>(object); }

// The file of each recording context, for the check that the closed metafile is all on disk:
// GDI may keep a metafile it could not write in memory and still hand back a handle.
std::mutex& PathsLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
std::map<::HDC, std::string>& RecordingPaths() {
    static auto* paths = new std::map<::HDC, std::string>;
    return *paths;
}

void Remember(::HDC dc, const std::string& path) {
    const std::lock_guard<std::mutex> held(PathsLock());
    RecordingPaths()[dc] = path;
}

std::string TakePath(::HDC dc) {
    const std::lock_guard<std::mutex> held(PathsLock());
    const auto found = RecordingPaths().find(dc);
    if (found == RecordingPaths().end()) return std::string();
    std::string path = std::move(found->second);
    RecordingPaths().erase(found);
    return path;
}

// A plain metafile holds 16-bit coordinates. GDI cuts larger ones to 16 bits without a word,
// which records some other picture; they are refused instead, as on POSIX.
bool FitsPlainMetafile(::HDC dc, std::initializer_list<int> values) {
    if (::GetObjectType(dc) != OBJ_METADC) return true;
    for (const int value : values) {
        if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) return false;
    }
    return true;
}

// The system's reason for a recording that could not start or be written, in errno where the
// callers read it, as on POSIX; a failure without a reason leaves errno as it was.
void KeepSystemReason() {
    const DWORD error = GetLastError();
    if (error != ERROR_SUCCESS) errno = win32::ErrnoFromError(error);
}

bool FileHasSize(const std::string& path, uint64_t bytes) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExW(win32::WidePath(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size == bytes;
}

}  // namespace

HDC GetDC() { return Ours(::GetDC(nullptr)); }

int ReleaseDC(HDC dc) { return ::ReleaseDC(nullptr, System(dc)); }

int GetDeviceCaps(HDC dc, int index) { return ::GetDeviceCaps(System(dc), index); }

HDC CreateEnhMetaFileA(HDC reference, const std::string& path, const Rect* frame,
                       const std::string& description) {
    // The two nulls after the text (the picture name's end and the list's); c_str adds the last.
    std::wstring described = win32::Wide(description);
    described.append(2, L'\0');
    RECT frameRect{};
    if (frame != nullptr) frameRect = RECT{frame->left, frame->top, frame->right, frame->bottom};
    SetLastError(ERROR_SUCCESS);
    const std::wstring widePath = win32::WidePath(path);
    const ::HDC dc = ::CreateEnhMetaFileW(System(reference), widePath.c_str(), frame != nullptr ? &frameRect : nullptr,
                                          described.c_str());
    if (dc == nullptr) KeepSystemReason();
    if (dc != nullptr) Remember(dc, path);
    return Ours(dc);
}

HENHMETAFILE CloseEnhMetaFile(HDC dc) {
    const std::string path = TakePath(System(dc));
    SetLastError(ERROR_SUCCESS);
    const ::HENHMETAFILE metafile = ::CloseEnhMetaFile(System(dc));
    if (metafile == nullptr) {
        KeepSystemReason();
        return nullptr;
    }
    ENHMETAHEADER header{};
    if (::GetEnhMetaFileHeader(metafile, sizeof(header), &header) == 0 || !FileHasSize(path, header.nBytes)) {
        ::DeleteEnhMetaFile(metafile);
        return nullptr;
    }
    return reinterpret_cast<HENHMETAFILE>(metafile);
}

bool DeleteEnhMetaFile(HENHMETAFILE metafile) {
    return ::DeleteEnhMetaFile(reinterpret_cast<::HENHMETAFILE>(metafile)) != 0;
}

HDC CreateMetaFileA(const std::string& path) {
    SetLastError(ERROR_SUCCESS);
    const std::wstring widePath = win32::WidePath(path);
    const ::HDC dc = ::CreateMetaFileW(widePath.c_str());
    if (dc == nullptr) KeepSystemReason();
    if (dc != nullptr) Remember(dc, path);
    return Ours(dc);
}

HMETAFILE CloseMetaFile(HDC dc) {
    const std::string path = TakePath(System(dc));
    SetLastError(ERROR_SUCCESS);
    const ::HMETAFILE metafile = ::CloseMetaFile(System(dc));
    if (metafile == nullptr) {
        KeepSystemReason();
        return nullptr;
    }
    const UINT bytes = ::GetMetaFileBitsEx(metafile, 0, nullptr);
    if (bytes == 0 || !FileHasSize(path, bytes)) {
        ::DeleteMetaFile(metafile);
        return nullptr;
    }
    return reinterpret_cast<HMETAFILE>(metafile);
}

bool DeleteMetaFile(HMETAFILE metafile) { return ::DeleteMetaFile(reinterpret_cast<::HMETAFILE>(metafile)) != 0; }

HPEN CreatePen(int style, int width, uint32_t colorRef) {
    return Ours(reinterpret_cast<::HGDIOBJ>(::CreatePen(style, width, colorRef)));
}

HBRUSH CreateSolidBrush(uint32_t colorRef) {
    return Ours(reinterpret_cast<::HGDIOBJ>(::CreateSolidBrush(colorRef)));
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    const ::HGDIOBJ previous = ::SelectObject(System(dc), System(object));
    return previous == HGDI_ERROR ? nullptr : Ours(previous);
}

bool DeleteObject(HGDIOBJ object) { return ::DeleteObject(System(object)) != 0; }

bool Rectangle(HDC dc, int left, int top, int right, int bottom) {
    if (!FitsPlainMetafile(System(dc), {left, top, right, bottom})) return false;
    return ::Rectangle(System(dc), left, top, right, bottom) != 0;
}

int SetStretchBltMode(HDC dc, int mode) { return ::SetStretchBltMode(System(dc), mode); }

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const void* info, uint32_t usage,
                  uint32_t rop) {
    if (info == nullptr) return 0;
    if (!FitsPlainMetafile(System(dc), {xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight}))
        return 0;
    const auto* header = static_cast<const BITMAPINFOHEADER*>(info);
    std::vector<unsigned char> sized;
    if (header->biCompression == BI_RGB && header->biSizeImage == 0 && header->biWidth > 0) {
        // An uncompressed DIB may leave its image size 0; some metafile recorders take the pixel
        // bytes to copy from that field, so a copy of the header states it.
        const uint32_t colours = header->biClrUsed != 0 ? header->biClrUsed
                                 : header->biBitCount <= 8 ? (1u << header->biBitCount)
                                                           : 0;
        const size_t infoBytes = header->biSize + colours * (usage == DIB_PAL_COLORS ? 2 : 4);
        sized.assign(static_cast<const unsigned char*>(info), static_cast<const unsigned char*>(info) + infoBytes);
        const uint64_t stride = (static_cast<uint64_t>(header->biWidth) * header->biBitCount + 31) / 32 * 4;
        const uint64_t bytes = stride * static_cast<uint64_t>(header->biHeight < 0 ? -static_cast<int64_t>(header->biHeight)
                                                                                   : header->biHeight);
        if (bytes > 0xFFFFFFFFu) return 0;
        reinterpret_cast<BITMAPINFOHEADER*>(sized.data())->biSizeImage = static_cast<DWORD>(bytes);
        info = sized.data();
    }
    return ::StretchDIBits(System(dc), xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight, bits,
                           static_cast<const BITMAPINFO*>(info), usage, rop);
}

}  // namespace platform::gdi
