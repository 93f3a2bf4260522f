#include "conversion/tiff_page_append.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "conversion/failure_text.h"
#include "protocol/byte_order.h"

namespace {

constexpr uint16_t kTagStripOffsets = 273;
constexpr uint16_t kTagPageName = 285;
constexpr uint16_t kTagPageNumber = 297;
constexpr uint16_t kTagTileOffsets = 324;
constexpr uint16_t kTypeAscii = 2;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeIfd = 13;
constexpr uint64_t kLargestOffset = 0xFFFFFFFFu;
constexpr size_t kHeaderSize = 8;
constexpr size_t kEntrySize = 12;

// Bytes of one value of a field type; 0 for a type whose size is not known, whose offsets
// therefore could not be moved.
uint32_t TypeSize(uint16_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case kTypeIfd:
            return 4;
        case 5:
        case 10:
        case 12:
            return 8;
        default:
            return 0;
    }
}

// Tags whose values point at further directories: moving those would need their own relocation.
bool PointsAtDirectories(uint16_t tag, uint16_t type) {
    return type == kTypeIfd || tag == 330 || tag == 34665 || tag == 34853 || tag == 40965;
}

class ByteOrder {
  public:
    explicit ByteOrder(bool bigEndian) : big_(bigEndian) {}
    uint16_t Get16(const uint8_t* p) const { return big_ ? GetBe16(p) : GetLe16(p); }
    uint32_t Get32(const uint8_t* p) const { return big_ ? GetBe32(p) : GetLe32(p); }
    void Put16(uint8_t* p, uint16_t v) const { big_ ? PutBe16(p, v) : PutLe16(p, v); }
    void Put32(uint8_t* p, uint32_t v) const { big_ ? PutBe32(p, v) : PutLe32(p, v); }

  private:
    bool big_;
};

bool Refuse(std::string& error, const char* why) {
    error = why;
    return false;
}

}  // namespace

bool RelocateTiffPage(const std::vector<uint8_t>& page, uint64_t position, uint32_t pageNumber,
                      RelocatedTiffPage& relocated, std::string& error) {
    const uint64_t size = page.size();
    if (size < kHeaderSize) return Refuse(error, "page too short for a TIFF header");
    const bool big = page[0] == 'M' && page[1] == 'M';
    if (!big && !(page[0] == 'I' && page[1] == 'I')) return Refuse(error, "page is not a TIFF");
    const ByteOrder order(big);
    if (order.Get16(&page[2]) != 42) return Refuse(error, "page is not a classic TIFF");
    if (position < kHeaderSize || position % 2 != 0) return Refuse(error, "bad page position");

    const uint64_t directory = order.Get32(&page[4]);
    if (directory < kHeaderSize || directory + 2 > size)
        return Refuse(error, "directory outside the page");
    const uint32_t entries = order.Get16(&page[directory]);
    const uint64_t nextPointer = directory + 2 + kEntrySize * entries;
    if (nextPointer + 4 > size) return Refuse(error, "directory outside the page");

    // Offsets inside the page become offsets inside the file: byte 8 of the page lands at position.
    const auto moved = [position](uint64_t offset) { return offset - kHeaderSize + position; };
    relocated.block.assign(page.begin() + kHeaderSize, page.end());
    relocated.bigEndian = big;
    uint8_t* const block = relocated.block.data();
    const auto inBlock = [block](uint64_t offset) { return block + (offset - kHeaderSize); };

    const std::string pageName = "Page " + std::to_string(pageNumber);
    size_t renamedEntryAt = 0;  // PageName entry whose text must go after the page; never at 0
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t* entry = inBlock(directory + 2 + kEntrySize * i);
        const uint16_t tag = order.Get16(entry);
        const uint16_t type = order.Get16(entry + 2);
        const uint32_t count = order.Get32(entry + 4);
        if (PointsAtDirectories(tag, type)) return Refuse(error, "page holds further directories");
        const uint32_t typeSize = TypeSize(type);
        if (typeSize == 0) return Refuse(error, "page holds a field of unknown type");
        const uint64_t bytes = uint64_t{count} * typeSize;
        uint8_t* values = entry + 8;
        if (bytes > 4) {
            const uint64_t offset = order.Get32(entry + 8);
            if (offset < kHeaderSize || offset + bytes > size)
                return Refuse(error, "field outside the page");
            values = inBlock(offset);
            order.Put32(entry + 8, static_cast<uint32_t>(moved(offset)));
        }
        if (tag == kTagStripOffsets || tag == kTagTileOffsets) {
            if (type != kTypeShort && type != kTypeLong)
                return Refuse(error, "strip offsets of odd type");
            for (uint32_t v = 0; v < count; ++v) {
                if (type == kTypeShort) {
                    const uint64_t offset = order.Get16(values + 2 * v);
                    if (offset < kHeaderSize || offset > size || moved(offset) > 0xFFFF)
                        return Refuse(error, "strip offset out of reach");
                    order.Put16(values + 2 * v, static_cast<uint16_t>(moved(offset)));
                } else {
                    const uint64_t offset = order.Get32(values + 4 * v);
                    if (offset < kHeaderSize || offset > size)
                        return Refuse(error, "strip outside the page");
                    order.Put32(values + 4 * v, static_cast<uint32_t>(moved(offset)));
                }
            }
        } else if (tag == kTagPageNumber && type == kTypeShort && count == 2) {
            order.Put16(values, static_cast<uint16_t>(pageNumber));
            order.Put16(values + 2, static_cast<uint16_t>(pageNumber));
        } else if (tag == kTagPageName) {
            const size_t length = pageName.size() + 1;  // with its terminating zero
            const bool same = type == kTypeAscii && count == length &&
                              std::memcmp(values, pageName.c_str(), length) == 0;
            if (!same) {
                order.Put16(entry + 2, kTypeAscii);
                order.Put32(entry + 4, static_cast<uint32_t>(length));
                if (length <= 4) {
                    std::memset(entry + 8, 0, 4);
                    std::memcpy(entry + 8, pageName.c_str(), length);
                } else {
                    renamedEntryAt = static_cast<size_t>(entry - block);
                }
            }
        }
    }
    order.Put32(inBlock(nextPointer), 0);  // the page is the last directory until another follows
    if (renamedEntryAt != 0) {
        // The name was encoded for another number: the new one goes after the page's bytes.
        if (relocated.block.size() % 2 != 0) relocated.block.push_back(0);
        const size_t nameAt = relocated.block.size();
        relocated.block.insert(relocated.block.end(), pageName.c_str(),
                               pageName.c_str() + pageName.size() + 1);
        order.Put32(relocated.block.data() + renamedEntryAt + 8,
                    static_cast<uint32_t>(position + nameAt));
    }
    if (position + relocated.block.size() > kLargestOffset)
        return Refuse(error, "page would end beyond 4 GiB, out of reach of 32-bit TIFF offsets");
    relocated.directoryOffset = static_cast<uint32_t>(moved(directory));
    relocated.nextPointerOffset = static_cast<uint32_t>(moved(nextPointer));
    return true;
}

bool TiffPageAppender::WriteAt(uint64_t position, const void* bytes, size_t size) {
    errno = 0;
    if (position > static_cast<uint64_t>(LONG_MAX)) {
        errno = EFBIG;
    } else if (std::fseek(file_, static_cast<long>(position), SEEK_SET) == 0 &&
               std::fwrite(bytes, 1, size, file_) == size) {
        return true;
    }
    // The system's words: a full disk reads "No space left on device".
    broken_ = true;
    error_ = SystemErrorText(errno != 0 ? errno : EIO);
    return false;
}

bool TiffPageAppender::Append(const std::vector<uint8_t>& page) {
    if (file_ == nullptr) {
        error_ = "the multi-page file is not open";
        return false;
    }
    // The reason of the failed write stays the text of every later page.
    if (broken_) return false;
    // Directories and values start on a word boundary.
    const uint64_t position = end_ == 0 ? kHeaderSize : end_ + end_ % 2;
    RelocatedTiffPage relocated;
    if (!RelocateTiffPage(page, position, pagesWritten_ + 1, relocated, error_)) return false;
    if (end_ != 0 && relocated.bigEndian != bigEndian_) {
        error_ = "page byte order differs from the file's";
        return false;
    }
    const ByteOrder order(relocated.bigEndian);
    if (end_ == 0) {
        uint8_t header[kHeaderSize] = {0};
        header[0] = header[1] = relocated.bigEndian ? 'M' : 'I';
        order.Put16(header + 2, 42);
        if (!WriteAt(0, header, sizeof(header))) return false;
        bigEndian_ = relocated.bigEndian;
    } else if (position != end_) {
        const uint8_t padding = 0;
        if (!WriteAt(end_, &padding, 1)) return false;
    }
    if (!WriteAt(position, relocated.block.data(), relocated.block.size())) return false;
    // Chained last, so that a page that did not get written completely is never reachable.
    uint8_t pointer[4];
    order.Put32(pointer, relocated.directoryOffset);
    if (!WriteAt(nextPointerAt_, pointer, sizeof(pointer))) return false;
    nextPointerAt_ = relocated.nextPointerOffset;
    end_ = position + relocated.block.size();
    ++pagesWritten_;
    return true;
}
