#pragma once
// Byte values of the GIF89a container.

#include <cstdint>

namespace gif {

constexpr char kSignature[] = "GIF89a";
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kCommentLabel = 0xFE;
constexpr uint8_t kApplicationLabel = 0xFF;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kBlockTerminator = 0x00;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGlobalTableFlag = 0x80;
constexpr uint8_t kLocalTableFlag = 0x80;
constexpr uint8_t kTrueColorScreenFlags = 0x11;

// Largest code of the 12-bit code space plus one.
constexpr uint32_t kCodeLimit = 4096;
constexpr int kMaxCodeBits = 12;

// Sub-blocks of the LZW and uncompressed code streams hold this many bytes.
constexpr int kCodePacketSize = 254;
// Sub-blocks of the run-length code stream hold this many bytes.
constexpr int kRunLengthPacketSize = 255;

// Cells of the true-colour path: each cell's colours fit one 256-entry table.
constexpr int kCellWidth = 17;
constexpr int kCellHeight = 15;

}  // namespace gif
