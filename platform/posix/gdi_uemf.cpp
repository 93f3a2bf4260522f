// GDI metafile recording on POSIX: each call appends the record that GDI would write, through
// libUEMF. Objects are recorded into a metafile the first time they are selected into it, and
// the stock objects are referred to by their stock index (EMF) or recreated (WMF), as GDI does.

#include <uemf.h>
#include <uwmf.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/gdi.h"

namespace platform::gdi {

enum class ContextKind { kScreen, kEnhanced, kWindows };
enum class ObjectKind { kPen, kBrush };

struct GdiObject {
    ObjectKind kind = ObjectKind::kPen;
    int style = 0;
    int width = 0;
    uint32_t colorRef = 0;
    int stockIndex = -1;  // -1 for created objects
    // The metafile this object was recorded into and its handle there (one at a time).
    DeviceContext* recordedIn = nullptr;
    uint32_t handle = 0;
};

struct DeviceContext {
    ContextKind kind = ContextKind::kScreen;
    EMFTRACK* emf = nullptr;
    EMFHANDLES* emfHandles = nullptr;
    WMFTRACK* wmf = nullptr;
    WMFHANDLES* wmfHandles = nullptr;
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    int stretchMode = 1;  // BLACKONWHITE
    bool failed = false;  // a record could not be made; the file is incomplete
    // Device-unit bounds of everything drawn (EMF header), inclusive.
    bool hasBounds = false;
    U_RECTL bounds{0, 0, -1, -1};
    std::vector<GdiObject*> recorded;  // objects that refer to this context
    // Held from creation to close of a Windows metafile: the recording library counts the
    // objects of a metafile in one process-wide value, so only one may record at a time.
    std::unique_lock<std::mutex> recordingLock;
};

struct Metafile {
    bool enhanced = false;
};

namespace {

// The reference screen.
constexpr int kScreenWidthPixels = 1920;
constexpr int kScreenHeightPixels = 1080;
constexpr int kScreenWidthMillimetres = 508;
constexpr int kScreenHeightMillimetres = 286;

// The stock objects a context starts with, by their GDI stock index.
constexpr int kStockWhiteBrush = 0;
constexpr int kStockBlackPen = 7;

GdiObject whiteBrush{ObjectKind::kBrush, U_BS_SOLID, 0, 0x00FFFFFF, kStockWhiteBrush};
GdiObject blackPen{ObjectKind::kPen, U_PS_SOLID, 0, 0x00000000, kStockBlackPen};
DeviceContext screen;

U_COLORREF ToColorRef(uint32_t value) {
    return colorref3_set(static_cast<uint8_t>(value & 0xFF),
                         static_cast<uint8_t>((value >> 8) & 0xFF),
                         static_cast<uint8_t>((value >> 16) & 0xFF));
}

bool Append(DeviceContext* dc, char* record) {
    if (record == nullptr) {
        dc->failed = true;
        return false;
    }
    const int status = dc->kind == ContextKind::kEnhanced
                           ? emf_append(reinterpret_cast<U_ENHMETARECORD*>(record), dc->emf, 1)
                           : wmf_append(reinterpret_cast<U_METARECORD*>(record), dc->wmf, 1);
    if (status != 0) dc->failed = true;
    return status == 0;
}

void AddBounds(DeviceContext* dc, int left, int top, int right, int bottom) {
    if (right < left || bottom < top) return;
    if (!dc->hasBounds) {
        dc->bounds = {left, top, right, bottom};
        dc->hasBounds = true;
        return;
    }
    dc->bounds.left = std::min(dc->bounds.left, left);
    dc->bounds.top = std::min(dc->bounds.top, top);
    dc->bounds.right = std::max(dc->bounds.right, right);
    dc->bounds.bottom = std::max(dc->bounds.bottom, bottom);
}

bool IsMetafile(HDC dc) {
    return dc != nullptr &&
           (dc->kind == ContextKind::kEnhanced || dc->kind == ContextKind::kWindows);
}

bool FitsWord(int value) {
    return value >= std::numeric_limits<int16_t>::min() &&
           value <= std::numeric_limits<int16_t>::max();
}

// Records the creation of object in dc (once) and returns its handle there.
bool RecordCreation(DeviceContext* dc, GdiObject* object) {
    if (object->recordedIn == dc) return true;
    uint32_t handle = 0;
    char* record = nullptr;
    if (dc->kind == ContextKind::kEnhanced) {
        if (object->kind == ObjectKind::kPen) {
            const U_LOGPEN pen =
                logpen_set(static_cast<uint32_t>(object->style), point32_set(object->width, 0),
                           ToColorRef(object->colorRef));
            record = createpen_set(&handle, dc->emfHandles, pen);
        } else {
            const U_LOGBRUSH brush = logbrush_set(U_BS_SOLID, ToColorRef(object->colorRef), 0);
            record = createbrushindirect_set(&handle, dc->emfHandles, brush);
        }
    } else {
        if (object->kind == ObjectKind::kPen) {
            const U_PEN pen =
                U_PEN_set(static_cast<uint16_t>(object->style),
                          static_cast<uint16_t>(object->width), ToColorRef(object->colorRef));
            record = wcreatepenindirect_set(&handle, dc->wmfHandles, pen);
        } else {
            const U_WLOGBRUSH brush = U_WLOGBRUSH_set(U_BS_SOLID, ToColorRef(object->colorRef), 0);
            record = wcreatebrushindirect_set(&handle, dc->wmfHandles, brush);
        }
    }
    if (!Append(dc, record)) return false;
    object->recordedIn = dc;
    object->handle = handle;
    if (object->stockIndex < 0) dc->recorded.push_back(object);
    return true;
}

bool RecordSelection(DeviceContext* dc, GdiObject* object) {
    if (dc->kind == ContextKind::kEnhanced) {
        if (object->stockIndex >= 0) {
            return Append(dc, U_EMRSELECTOBJECT_set(U_STOCK_OBJECT |
                                                    static_cast<uint32_t>(object->stockIndex)));
        }
        if (!RecordCreation(dc, object)) return false;
        return Append(dc, selectobject_set(object->handle, dc->emfHandles));
    }
    // A plain metafile has no stock object references: the object is recreated in it.
    if (object->stockIndex >= 0) {
        GdiObject copy = *object;
        copy.stockIndex = -1;
        copy.recordedIn = nullptr;
        uint32_t handle = 0;
        char* record = nullptr;
        if (copy.kind == ObjectKind::kPen) {
            record = wcreatepenindirect_set(
                &handle, dc->wmfHandles,
                U_PEN_set(static_cast<uint16_t>(copy.style), static_cast<uint16_t>(copy.width),
                          ToColorRef(copy.colorRef)));
        } else {
            record = wcreatebrushindirect_set(
                &handle, dc->wmfHandles, U_WLOGBRUSH_set(U_BS_SOLID, ToColorRef(copy.colorRef), 0));
        }
        if (!Append(dc, record)) return false;
        return Append(dc, wselectobject_set(handle, dc->wmfHandles));
    }
    if (!RecordCreation(dc, object)) return false;
    return Append(dc, wselectobject_set(object->handle, dc->wmfHandles));
}

void ForgetRecordedObjects(DeviceContext* dc) {
    for (GdiObject* object : dc->recorded) {
        if (object->recordedIn == dc) object->recordedIn = nullptr;
    }
    dc->recorded.clear();
}

void InitialiseSelection(DeviceContext* dc) {
    dc->pen = &blackPen;
    dc->brush = &whiteBrush;
}

}  // namespace

HDC GetDC() {
    screen.kind = ContextKind::kScreen;
    return &screen;
}

int ReleaseDC(HDC dc) { return dc == &screen ? 1 : 0; }

int GetDeviceCaps(HDC dc, int index) {
    if (dc == nullptr) return 0;
    switch (index) {
        case kHorzSize:
            return kScreenWidthMillimetres;
        case kVertSize:
            return kScreenHeightMillimetres;
        case kHorzRes:
            return kScreenWidthPixels;
        case kVertRes:
            return kScreenHeightPixels;
        default:
            return 0;
    }
}

HDC CreateEnhMetaFileA(HDC, const std::string& path, const Rect* frame,
                       const std::string& description) {
    auto* dc = new DeviceContext;
    dc->kind = ContextKind::kEnhanced;
    InitialiseSelection(dc);
    if (emf_start(path.c_str(), 1u << 20, 1u << 20, &dc->emf) != 0 ||
        emf_htable_create(128, 128, &dc->emfHandles) != 0) {
        if (dc->emf) emf_free(&dc->emf);
        delete dc;
        return nullptr;
    }
    // "name\0\0\0": an application name, an empty picture name and the closing null, as
    // UTF-16 (the single-byte text is taken as Latin-1).
    std::vector<uint16_t> described;
    for (unsigned char c : description) described.push_back(c);
    described.insert(described.end(), 3, 0);
    const U_RECTL frameRect =
        frame ? U_RECTL{frame->left, frame->top, frame->right, frame->bottom} : U_RECTL{0, 0, 0, 0};
    const U_SIZEL device = sizel_set(kScreenWidthPixels, kScreenHeightPixels);
    const U_SIZEL millimetres = sizel_set(kScreenWidthMillimetres, kScreenHeightMillimetres);
    char* header = U_EMRHEADER_set(U_RECTL{0, 0, -1, -1}, frameRect, nullptr,
                                   static_cast<U_CBSTR>(described.size()), described.data(), device,
                                   millimetres, 0);
    if (!Append(dc, header)) {
        emf_free(&dc->emf);
        emf_htable_free(&dc->emfHandles);
        std::remove(path.c_str());
        delete dc;
        return nullptr;
    }
    return dc;
}

HENHMETAFILE CloseEnhMetaFile(HDC dc) {
    if (dc == nullptr || dc->kind != ContextKind::kEnhanced) return nullptr;
    constexpr size_t kEndRecordSize = sizeof(U_EMREOF) + sizeof(uint32_t);
    if (Append(dc, U_EMREOF_set(0, nullptr, dc->emf)) && dc->emf->used >= kEndRecordSize) {
        // GDI's end record points its empty palette at the last field, and that last field
        // repeats the record size (libUEMF puts the file size there).
        char* end = dc->emf->buf + dc->emf->used - kEndRecordSize;
        const uint32_t paletteOffset = sizeof(U_EMREOF);
        const uint32_t recordSize = kEndRecordSize;
        std::memcpy(end + offsetof(U_EMREOF, offPalEntries), &paletteOffset, 4);
        std::memcpy(end + sizeof(U_EMREOF), &recordSize, 4);
    }
    // The header's bounds are known only now; the header is the first record.
    auto* header = reinterpret_cast<U_EMRHEADER*>(dc->emf->buf);
    header->rclBounds = dc->hasBounds ? dc->bounds : U_RECTL{0, 0, -1, -1};
    const bool written = !dc->failed && emf_finish(dc->emf, dc->emfHandles) == 0;
    emf_free(&dc->emf);
    emf_htable_free(&dc->emfHandles);
    ForgetRecordedObjects(dc);
    delete dc;
    if (!written) return nullptr;
    auto* metafile = new Metafile;
    metafile->enhanced = true;
    return metafile;
}

bool DeleteEnhMetaFile(HENHMETAFILE metafile) {
    if (metafile == nullptr || !metafile->enhanced) return false;
    delete metafile;
    return true;
}

std::mutex& WindowsMetafileRecording() {
    static std::mutex recording;
    return recording;
}

HDC CreateMetaFileA(const std::string& path) {
    auto* dc = new DeviceContext;
    dc->kind = ContextKind::kWindows;
    dc->recordingLock = std::unique_lock<std::mutex>(WindowsMetafileRecording());
    wmf_highwater(U_HIGHWATER_CLEAR);
    InitialiseSelection(dc);
    if (wmf_start(path.c_str(), 1u << 20, 1u << 20, &dc->wmf) != 0 ||
        wmf_htable_create(128, 128, &dc->wmfHandles) != 0) {
        if (dc->wmf) wmf_free(&dc->wmf);
        delete dc;
        return nullptr;
    }
    // No size: the plain header without the placeable one in front.
    char* header = U_WMRHEADER_set(nullptr, 0);
    if (header == nullptr ||
        wmf_header_append(reinterpret_cast<U_METARECORD*>(header), dc->wmf, 1) != 0) {
        wmf_free(&dc->wmf);
        wmf_htable_free(&dc->wmfHandles);
        std::remove(path.c_str());
        delete dc;
        return nullptr;
    }
    return dc;
}

HMETAFILE CloseMetaFile(HDC dc) {
    if (dc == nullptr || dc->kind != ContextKind::kWindows) return nullptr;
    Append(dc, U_WMREOF_set());
    const bool written = !dc->failed && wmf_finish(dc->wmf) == 0;
    wmf_free(&dc->wmf);
    wmf_htable_free(&dc->wmfHandles);
    ForgetRecordedObjects(dc);
    delete dc;
    if (!written) return nullptr;
    return new Metafile;
}

bool DeleteMetaFile(HMETAFILE metafile) {
    if (metafile == nullptr || metafile->enhanced) return false;
    delete metafile;
    return true;
}

HPEN CreatePen(int style, int width, uint32_t colorRef) {
    auto* pen = new GdiObject;
    pen->kind = ObjectKind::kPen;
    pen->style = style;
    pen->width = width;
    pen->colorRef = colorRef & 0x00FFFFFF;
    return pen;
}

HBRUSH CreateSolidBrush(uint32_t colorRef) {
    auto* brush = new GdiObject;
    brush->kind = ObjectKind::kBrush;
    brush->style = U_BS_SOLID;
    brush->colorRef = colorRef & 0x00FFFFFF;
    return brush;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (dc == nullptr || object == nullptr) return nullptr;
    HGDIOBJ& slot = object->kind == ObjectKind::kPen ? dc->pen : dc->brush;
    if (IsMetafile(dc) && !RecordSelection(dc, object)) return nullptr;
    HGDIOBJ previous = slot;
    slot = object;
    return previous;
}

bool DeleteObject(HGDIOBJ object) {
    if (object == nullptr) return false;
    if (object->stockIndex >= 0) return true;
    DeviceContext* dc = object->recordedIn;
    if (dc != nullptr) {
        uint32_t handle = object->handle;
        Append(dc, dc->kind == ContextKind::kEnhanced ? deleteobject_set(&handle, dc->emfHandles)
                                                      : wdeleteobject_set(&handle, dc->wmfHandles));
        auto& list = dc->recorded;
        list.erase(std::remove(list.begin(), list.end(), object), list.end());
    }
    delete object;
    return true;
}

bool Rectangle(HDC dc, int left, int top, int right, int bottom) {
    if (!IsMetafile(dc)) return dc != nullptr;
    if (dc->kind == ContextKind::kEnhanced) {
        AddBounds(dc, std::min(left, right), std::min(top, bottom), std::max(left, right) - 1,
                  std::max(top, bottom) - 1);
        return Append(dc, U_EMRRECTANGLE_set(U_RECTL{left, top, right, bottom}));
    }
    if (!FitsWord(left) || !FitsWord(top) || !FitsWord(right) || !FitsWord(bottom)) {
        dc->failed = true;
        return false;
    }
    const U_RECT16 box =
        U_RECT16_set(point16_set(static_cast<int16_t>(left), static_cast<int16_t>(top)),
                     point16_set(static_cast<int16_t>(right), static_cast<int16_t>(bottom)));
    return Append(dc, U_WMRRECTANGLE_set(box));
}

int SetStretchBltMode(HDC dc, int mode) {
    if (dc == nullptr) return 0;
    const int previous = dc->stretchMode;
    if (dc->kind == ContextKind::kEnhanced) {
        if (!Append(dc, U_EMRSETSTRETCHBLTMODE_set(static_cast<uint32_t>(mode)))) return 0;
    } else if (dc->kind == ContextKind::kWindows) {
        if (!Append(dc, U_WMRSETSTRETCHBLTMODE_set(static_cast<uint16_t>(mode)))) return 0;
    }
    dc->stretchMode = mode;
    return previous;
}

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const void* info, uint32_t usage,
                  uint32_t rop) {
    if (dc == nullptr || bits == nullptr || info == nullptr) return 0;
    if (!IsMetafile(dc)) return srcHeight;
    U_BITMAPINFOHEADER header;
    std::memcpy(&header, info, sizeof(header));
    if (header.biWidth <= 0 || header.biHeight == 0) return 0;
    const uint64_t stride =
        ((static_cast<uint64_t>(header.biWidth) * header.biBitCount + 31) / 32) * 4;
    const uint64_t pixelBytes = stride * static_cast<uint64_t>(std::abs(header.biHeight));
    if (pixelBytes > std::numeric_limits<uint32_t>::max() / 2) {
        dc->failed = true;
        return 0;
    }
    auto* bmi = reinterpret_cast<U_BITMAPINFO*>(const_cast<void*>(info));
    auto* px = static_cast<char*>(const_cast<void*>(bits));
    char* record = nullptr;
    if (dc->kind == ContextKind::kEnhanced) {
        record = U_EMRSTRETCHDIBITS_set(
            U_RECTL{xDest, yDest, xDest + destWidth - 1, yDest + destHeight - 1},
            point32_set(xDest, yDest), point32_set(destWidth, destHeight), point32_set(xSrc, ySrc),
            point32_set(srcWidth, srcHeight), usage, rop, bmi, static_cast<uint32_t>(pixelBytes),
            px);
        if (record != nullptr)
            AddBounds(dc, xDest, yDest, xDest + destWidth - 1, yDest + destHeight - 1);
    } else {
        for (int value : {xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight}) {
            if (!FitsWord(value)) {
                dc->failed = true;
                return 0;
            }
        }
        record = U_WMRSTRETCHDIB_set(
            point16_set(static_cast<int16_t>(xDest), static_cast<int16_t>(yDest)),
            point16_set(static_cast<int16_t>(destWidth), static_cast<int16_t>(destHeight)),
            point16_set(static_cast<int16_t>(xSrc), static_cast<int16_t>(ySrc)),
            point16_set(static_cast<int16_t>(srcWidth), static_cast<int16_t>(srcHeight)),
            static_cast<uint16_t>(usage), rop, bmi, static_cast<uint32_t>(pixelBytes), px);
    }
    return Append(dc, record) ? srcHeight : 0;
}

}  // namespace platform::gdi
