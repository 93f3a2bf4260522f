#pragma once
// GIF image class: writes a palette image as a GIF89a file (header, global colour table,
// graphic control extension, optional comment, one image, trailer). The image data is
// LZW-compressed by default; codec option 1 sends uncompressed codes and 2 run-length codes.
// True-colour images are cut into cells that each get a local colour table, and several
// frames make an animation.

#include <cstdint>
#include <string>
#include <vector>

#include "image/ximage.h"

class CxImageGIF : public CxImage {
  public:
    CxImageGIF() : CxImage(kFormatGif) {}
    ~CxImageGIF() override = default;

    // Writes this image (or its frames) to the stream. False with the last error set when the
    // image cannot be written or the stream reports a write error.
    bool Encode(ImageStream* stream);
    // Writes the given frames as one animation; the header comes from the first frame.
    bool EncodeFrames(ImageStream* stream, const std::vector<CxImage*>& frames);

    void SetComment(std::string_view text);  // cut at 255 characters
    const std::string& GetComment() const { return comment_; }
    void SetDisposalMethod(uint8_t method) { disposalMethod_ = method; }
    void SetLoops(int32_t loops) { loops_ = loops; }
    void SetFrameDelay(uint16_t delay) { frameDelay_ = delay; }

  private:
    // Compressor selected by the GIF codec option.
    enum Compressor : uint32_t { kLzw = 0, kUncompressed = 1, kRunLength = 2 };

    void WriteHeader(ImageStream& stream, const CxImage& source);
    void WriteGraphicControl(ImageStream& stream, const CxImage& frame);
    void WriteComment(ImageStream& stream);
    void WriteLoopExtension(ImageStream& stream);
    void WriteImage(ImageStream& stream, CxImage& frame, bool localColorTable);
    bool EncodeTrueColor(ImageStream& stream);
    bool FinishStream(ImageStream& stream);

    // Pixel source over the image being written: top row first, -1 when none are left.
    void StartPixels(const CxImage& frame);
    int NextPixel();

    // Variable-length-code writer shared by the LZW and uncompressed compressors.
    void ResetCodeWriter(int initialBits);
    void OutputCode(uint32_t code, ImageStream& stream);
    void PutPacketByte(uint8_t value, ImageStream& stream);
    void FlushPacket(ImageStream& stream);
    void CompressLzw(int initialBits, ImageStream& stream);
    void CompressUncompressed(int initialBits, ImageStream& stream);
    void CompressRunLength(int initialBits, ImageStream& stream);

    std::string comment_;
    uint8_t disposalMethod_ = 0;
    int32_t loops_ = 0;
    uint16_t frameDelay_ = 0;

    // Pixel cursor.
    const CxImage* pixelImage_ = nullptr;
    int32_t cursorX_ = 0;
    int32_t cursorY_ = 0;
    int64_t pixelsLeft_ = 0;

    // Code writer state.
    int initialBits_ = 0;
    int codeBits_ = 0;
    uint32_t maxCode_ = 0;
    uint32_t freeCode_ = 0;
    uint32_t clearCode_ = 0;
    uint32_t endCode_ = 0;
    bool clearPending_ = false;
    uint32_t accumulator_ = 0;
    int accumulatedBits_ = 0;

    static constexpr int kHashSize = 5003;
    std::vector<int32_t> hashKeys_;
    std::vector<uint16_t> hashCodes_;

    uint8_t packet_[256] = {};
    int packetCount_ = 0;
};
