// Variable-length-code LZW for GIF image data: an open-addressing string table keyed by
// (pixel, prefix code), codes packed least significant bit first into 254-byte sub-blocks.

#include <algorithm>

#include "codecs/gif_format.h"
#include "codecs/image_stream.h"
#include "codecs/ximage_gif.h"

namespace {

constexpr uint32_t kMasks[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                                 0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                                 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

constexpr uint32_t MaxCodeFor(int bits) { return (1u << bits) - 1; }

// The table is indexed by (pixel << shift) XOR prefix; the shift spreads 8-bit pixels
// across the 5003 slots.
int HashShift(int tableSize) {
    int doublings = 0;
    for (long size = tableSize; size < 65536; size *= 2) ++doublings;
    return 8 - doublings;
}

}  // namespace

void CxImageGIF::ResetCodeWriter(int initialBits) {
    initialBits_ = initialBits;
    codeBits_ = initialBits;
    maxCode_ = MaxCodeFor(initialBits);
    clearCode_ = 1u << (initialBits - 1);
    endCode_ = clearCode_ + 1;
    freeCode_ = clearCode_ + 2;
    clearPending_ = false;
    accumulator_ = 0;
    accumulatedBits_ = 0;
    packetCount_ = 0;
}

void CxImageGIF::PutPacketByte(uint8_t value, ImageStream& stream) {
    packet_[packetCount_++] = value;
    if (packetCount_ >= gif::kCodePacketSize) FlushPacket(stream);
}

void CxImageGIF::FlushPacket(ImageStream& stream) {
    if (packetCount_ == 0) return;
    const uint8_t length = static_cast<uint8_t>(packetCount_);
    stream.Write(&length, 1, 1);
    stream.Write(packet_, 1, static_cast<size_t>(packetCount_));
    packetCount_ = 0;
}

void CxImageGIF::OutputCode(uint32_t code, ImageStream& stream) {
    accumulator_ &= kMasks[accumulatedBits_];
    if (accumulatedBits_ > 0) {
        accumulator_ |= code << accumulatedBits_;
    } else {
        accumulator_ = code;
    }
    accumulatedBits_ += codeBits_;
    while (accumulatedBits_ >= 8) {
        PutPacketByte(static_cast<uint8_t>(accumulator_ & 0xFF), stream);
        accumulator_ >>= 8;
        accumulatedBits_ -= 8;
    }

    // The decoder widens its codes as soon as the next code no longer fits; follow it.
    if (freeCode_ > maxCode_ || clearPending_) {
        if (clearPending_) {
            codeBits_ = initialBits_;
            maxCode_ = MaxCodeFor(codeBits_);
            clearPending_ = false;
        } else {
            ++codeBits_;
            maxCode_ = codeBits_ == gif::kMaxCodeBits ? gif::kCodeLimit : MaxCodeFor(codeBits_);
        }
    }

    if (code == endCode_) {
        while (accumulatedBits_ > 0) {
            PutPacketByte(static_cast<uint8_t>(accumulator_ & 0xFF), stream);
            accumulator_ >>= 8;
            accumulatedBits_ -= 8;
        }
        FlushPacket(stream);
        stream.Flush();
        if (stream.Error() != 0) SetLastError("Write Error in GIF file");
    }
}

void CxImageGIF::CompressLzw(int initialBits, ImageStream& stream) {
    ResetCodeWriter(initialBits);
    const int shift = HashShift(kHashSize);
    hashKeys_.assign(kHashSize, -1);
    hashCodes_.assign(kHashSize, 0);

    int32_t prefix = NextPixel();
    OutputCode(clearCode_, stream);

    for (int pixel = NextPixel(); pixel >= 0; pixel = NextPixel()) {
        const int32_t key = (static_cast<int32_t>(pixel) << gif::kMaxCodeBits) + prefix;
        int32_t slot = (pixel << shift) ^ prefix;

        if (hashKeys_[slot] == key) {
            prefix = hashCodes_[slot];
            continue;
        }
        if (hashKeys_[slot] >= 0) {
            // Secondary probe: step backwards by a fixed displacement until an empty slot.
            const int32_t step = slot == 0 ? 1 : kHashSize - slot;
            bool found = false;
            do {
                slot -= step;
                if (slot < 0) slot += kHashSize;
                if (hashKeys_[slot] == key) {
                    found = true;
                    break;
                }
            } while (hashKeys_[slot] > 0);
            if (found) {
                prefix = hashCodes_[slot];
                continue;
            }
        }

        OutputCode(static_cast<uint32_t>(prefix), stream);
        if (freeCode_ < gif::kCodeLimit) {
            hashCodes_[slot] = static_cast<uint16_t>(freeCode_++);
            hashKeys_[slot] = key;
        } else {
            // Table full: start over so the decoder's table and ours stay equal.
            std::fill(hashKeys_.begin(), hashKeys_.end(), -1);
            freeCode_ = clearCode_ + 2;
            clearPending_ = true;
            OutputCode(clearCode_, stream);
        }
        prefix = pixel;
    }

    OutputCode(static_cast<uint32_t>(prefix), stream);
    OutputCode(endCode_, stream);
}

void CxImageGIF::CompressUncompressed(int initialBits, ImageStream& stream) {
    ResetCodeWriter(initialBits);
    OutputCode(clearCode_, stream);
    for (int pixel = NextPixel(); pixel >= 0; pixel = NextPixel()) {
        OutputCode(static_cast<uint32_t>(pixel), stream);
        // Count the entry the decoder adds for every code so the code width stays in step.
        if (freeCode_ > gif::kCodeLimit - 1) {
            freeCode_ = clearCode_ + 2;
            clearPending_ = true;
            OutputCode(clearCode_, stream);
        } else {
            ++freeCode_;
        }
    }
    OutputCode(endCode_, stream);
}
