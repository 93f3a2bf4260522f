// Run-length code stream for GIF image data. No dictionary is searched: the encoder relies on
// how a decoder grows its table, where the code added after a run of one pixel stands for one
// more repetition of it, and sends runs as those codes.

#include "codecs/gif_format.h"
#include "codecs/image_stream.h"
#include "codecs/ximage_gif.h"

namespace {

// Newton steps from a power-of-two start.
uint32_t IntegerSquareRoot(uint32_t x) {
    if (x < 2) return x;
    uint32_t root = 1;
    for (uint32_t v = x; v != 0; v >>= 2) root <<= 1;
    for (;;) {
        const uint32_t next = ((x / root) + root) / 2;
        if (next == root || next == root + 1) return root;
        root = next;
    }
}

// Codes needed to send a run of count pixels from an empty table whose growth allows at
// most codeLimit codes between clears.
uint32_t TriangleCost(uint32_t count, uint32_t codeLimit) {
    const uint32_t perRepeat = codeLimit * (codeLimit + 1) / 2;
    uint32_t cost = 0;
    while (count >= perRepeat) {
        cost += codeLimit;
        count -= perRepeat;
    }
    if (count > 0) {
        uint32_t n = IntegerSquareRoot(count);
        while (n * (n + 1) >= 2 * count) --n;
        while (n * (n + 1) < 2 * count) ++n;
        cost += n;
    }
    return cost;
}

class RunLengthCoder {
  public:
    RunLengthCoder(int initialBits, ImageStream& stream)
        : stream_(stream),
          clearCode_(1u << (initialBits - 1)),
          endCode_(clearCode_ + 1),
          baseCode_(clearCode_ + 2),
          initialBits_(initialBits),
          initialBump_(clearCode_ - 1),
          initialClearLimit_(initialBits <= 3 ? 9 : clearCode_ - 2),
          maxCodes_(4093 - clearCode_) {}

    void Start() {
        ResetAfterClear();
        bitBuffer_ = 0;
        bitCount_ = 0;
        packetCount_ = 0;
        Output(clearCode_);
    }

    void AddPixel(int pixel) {
        if (runCount_ > 0 && static_cast<uint32_t>(pixel) != runPixel_) FlushRun();
        if (pixel < 0) return;
        if (static_cast<uint32_t>(pixel) == runPixel_) {
            ++runCount_;
        } else {
            runPixel_ = static_cast<uint32_t>(pixel);
            runCount_ = 1;
        }
    }

    void Finish() {
        Output(endCode_);
        if (bitCount_ > 0) PutByte(static_cast<uint8_t>(bitBuffer_ & 0xFF));
        WritePacket();
    }

  private:
    void PutByte(uint8_t value) {
        packet_[packetCount_++] = value;
        if (packetCount_ >= gif::kRunLengthPacketSize) WritePacket();
    }

    void WritePacket() {
        if (packetCount_ == 0) return;
        const uint8_t length = static_cast<uint8_t>(packetCount_);
        stream_.Write(&length, 1, 1);
        stream_.Write(packet_, 1, static_cast<size_t>(packetCount_));
        packetCount_ = 0;
    }

    void Output(uint32_t code) {
        bitBuffer_ |= code << bitCount_;
        bitCount_ += bits_;
        while (bitCount_ >= 8) {
            PutByte(static_cast<uint8_t>(bitBuffer_ & 0xFF));
            bitBuffer_ >>= 8;
            bitCount_ -= 8;
        }
    }

    void ResetAfterClear() {
        bits_ = initialBits_;
        bump_ = initialBump_;
        clearLimit_ = initialClearLimit_;
        codesSinceClear_ = 0;
        tableLength_ = 0;
        justCleared_ = true;
    }

    void ClearNow() {
        Output(clearCode_);
        ResetAfterClear();
    }

    void OutputPlain(uint32_t code) {
        justCleared_ = false;
        Output(code);
        ++codesSinceClear_;
        if (codesSinceClear_ >= bump_) {
            ++bits_;
            bump_ += 1u << (bits_ - 1);
        }
        if (codesSinceClear_ >= clearLimit_) ClearNow();
    }

    void RestoreClearLimit() {
        clearLimit_ = initialClearLimit_;
        if (codesSinceClear_ >= clearLimit_) ClearNow();
    }

    void FillFromClear(uint32_t count) {
        clearLimit_ = maxCodes_;
        tablePixel_ = runPixel_;
        uint32_t step = 1;
        while (count > 0) {
            if (step == 1) {
                tableLength_ = 1;
                OutputPlain(runPixel_);
                --count;
            } else if (count >= step) {
                tableLength_ = step;
                OutputPlain(baseCode_ + step - 2);
                count -= step;
            } else if (count == 1) {
                ++tableLength_;
                OutputPlain(runPixel_);
                count = 0;
            } else {
                ++tableLength_;
                OutputPlain(baseCode_ + count - 2);
                count = 0;
            }
            step = codesSinceClear_ == 0 ? 1 : step + 1;
        }
        RestoreClearLimit();
    }

    void ClearOrRepeat(uint32_t count) {
        const uint32_t withClear = 1 + TriangleCost(count, maxCodes_);
        if (withClear < count) {
            ClearNow();
            FillFromClear(count);
        } else {
            for (; count > 0; --count) OutputPlain(runPixel_);
        }
    }

    void WithTable(uint32_t count) {
        uint32_t repeats = count / tableLength_;
        uint32_t leftover = count % tableLength_;
        uint32_t extra = leftover > 0 ? 1 : 0;
        if (codesSinceClear_ + repeats + extra > maxCodes_) {
            repeats = maxCodes_ - codesSinceClear_;
            leftover = count - repeats * tableLength_;
            extra = 1 + TriangleCost(leftover, maxCodes_);
        }
        if (1 + TriangleCost(count, maxCodes_) < repeats + extra) {
            ClearNow();
            FillFromClear(count);
            return;
        }
        clearLimit_ = maxCodes_;
        for (; repeats > 0; --repeats) OutputPlain(baseCode_ + tableLength_ - 2);
        if (leftover > 0) {
            if (justCleared_) {
                FillFromClear(leftover);
            } else if (leftover == 1) {
                OutputPlain(runPixel_);
            } else {
                OutputPlain(baseCode_ + leftover - 2);
            }
        }
        RestoreClearLimit();
    }

    void FlushRun() {
        if (runCount_ == 1) {
            OutputPlain(runPixel_);
        } else if (justCleared_) {
            FillFromClear(runCount_);
        } else if (tableLength_ < 2 || tablePixel_ != runPixel_) {
            ClearOrRepeat(runCount_);
        } else {
            WithTable(runCount_);
        }
        runCount_ = 0;
    }

    ImageStream& stream_;
    const uint32_t clearCode_;
    const uint32_t endCode_;
    const uint32_t baseCode_;
    const int initialBits_;
    const uint32_t initialBump_;
    const uint32_t initialClearLimit_;
    const uint32_t maxCodes_;

    int bits_ = 0;
    uint32_t bump_ = 0;
    uint32_t clearLimit_ = 0;
    uint32_t codesSinceClear_ = 0;
    uint32_t tablePixel_ = 0;
    uint32_t tableLength_ = 0;
    bool justCleared_ = true;
    uint32_t runPixel_ = 0;
    uint32_t runCount_ = 0;

    uint32_t bitBuffer_ = 0;
    int bitCount_ = 0;
    uint8_t packet_[gif::kRunLengthPacketSize] = {};
    int packetCount_ = 0;
};

}  // namespace

void CxImageGIF::CompressRunLength(int initialBits, ImageStream& stream) {
    RunLengthCoder coder(initialBits, stream);
    coder.Start();
    int pixel;
    do {
        pixel = NextPixel();
        coder.AddPixel(pixel);
    } while (pixel >= 0);
    coder.Finish();
}
