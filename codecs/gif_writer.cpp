// GIF89a container: header, colour tables, extensions and image descriptors. The code
// streams themselves are produced in gif_lzw.cpp and gif_run_length.cpp.

#include <algorithm>
#include <cstring>

#include "codecs/encoders.h"
#include "codecs/gif_format.h"
#include "codecs/image_stream.h"
#include "codecs/ximage_gif.h"

namespace {

void PutWord(ImageStream& stream, uint32_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF),
                              static_cast<uint8_t>((value >> 8) & 0xFF)};
    stream.Write(bytes, 1, 2);
}

void PutByte(ImageStream& stream, uint8_t value) { stream.Write(&value, 1, 1); }

// A table of 2^bits entries as red, green, blue; entries the palette lacks are black.
void WriteColorTable(ImageStream& stream, const CxImage& image) {
    const uint32_t entries = 1u << image.GetBpp();
    const RgbQuad* palette = image.GetPalette();
    const uint32_t known = palette ? std::min(entries, image.GetNumColors()) : 0;
    std::vector<uint8_t> table(entries * 3, 0);
    for (uint32_t i = 0; i < known; ++i) {
        table[i * 3] = palette[i].rgbRed;
        table[i * 3 + 1] = palette[i].rgbGreen;
        table[i * 3 + 2] = palette[i].rgbBlue;
    }
    stream.Write(table.data(), 1, table.size());
}

uint8_t ColorTableFlags(uint32_t bpp) {
    return static_cast<uint8_t>(gif::kGlobalTableFlag | (((bpp - 1) << 5) & 0xFF) | (bpp - 1));
}

}  // namespace

void CxImageGIF::SetComment(std::string_view text) { comment_ = std::string(text.substr(0, 255)); }

void CxImageGIF::WriteHeader(ImageStream& stream, const CxImage& source) {
    stream.Write(gif::kSignature, 1, 6);
    PutWord(stream, source.GetWidth());
    PutWord(stream, source.GetHeight());
    const bool hasPalette = source.GetPalette() != nullptr && source.GetBpp() <= 8;
    PutByte(stream, hasPalette ? ColorTableFlags(source.GetBpp()) : gif::kTrueColorScreenFlags);
    PutByte(stream, 0);  // background colour index
    PutByte(stream, 0);  // pixel aspect ratio
    if (hasPalette) WriteColorTable(stream, source);
}

void CxImageGIF::WriteGraphicControl(ImageStream& stream, const CxImage& frame) {
    const int32_t background = frame.GetBackgroundIndex();
    const uint8_t flags =
        static_cast<uint8_t>((background != -1 ? 1 : 0) | ((disposalMethod_ & 7) << 2));
    const uint8_t bytes[4] = {gif::kExtensionIntroducer, gif::kGraphicControlLabel, 4, flags};
    stream.Write(bytes, 1, 4);
    PutWord(stream, frameDelay_);
    PutByte(stream, static_cast<uint8_t>(background & 0xFF));
    PutByte(stream, gif::kBlockTerminator);
}

void CxImageGIF::WriteComment(ImageStream& stream) {
    if (comment_.empty()) return;
    const uint8_t bytes[3] = {gif::kExtensionIntroducer, gif::kCommentLabel,
                              static_cast<uint8_t>(comment_.size())};
    stream.Write(bytes, 1, 3);
    stream.Write(comment_.data(), 1, comment_.size());
    PutByte(stream, gif::kBlockTerminator);
}

void CxImageGIF::WriteLoopExtension(ImageStream& stream) {
    const uint8_t head[3] = {gif::kExtensionIntroducer, gif::kApplicationLabel, 0x0B};
    stream.Write(head, 1, 3);
    stream.Write("NETSCAPE2.0", 1, 11);
    const uint8_t sub[2] = {0x03, 0x01};
    stream.Write(sub, 1, 2);
    PutWord(stream, static_cast<uint32_t>(std::max(loops_ - 1, 0)));
    PutByte(stream, gif::kBlockTerminator);
}

void CxImageGIF::WriteImage(ImageStream& stream, CxImage& frame, bool localColorTable) {
    StartPixels(frame);
    PutByte(stream, gif::kImageSeparator);
    const CxImageInfo& info = frame.GetInfo();
    PutWord(stream, static_cast<uint32_t>(info.xOffset));
    PutWord(stream, static_cast<uint32_t>(info.yOffset));
    PutWord(stream, frame.GetWidth());
    PutWord(stream, frame.GetHeight());
    if (localColorTable) {
        PutByte(stream, static_cast<uint8_t>(gif::kLocalTableFlag | (frame.GetBpp() - 1)));
        WriteColorTable(stream, frame);
    } else {
        PutByte(stream, 0);
    }

    const int codeSize = frame.GetBpp() == 1 ? 2 : static_cast<int>(frame.GetBpp());
    PutByte(stream, static_cast<uint8_t>(codeSize));
    switch (GetCodecOption(kFormatGif)) {
        case kUncompressed:
            CompressUncompressed(codeSize + 1, stream);
            break;
        case kRunLength:
            CompressRunLength(codeSize + 1, stream);
            break;
        default:
            CompressLzw(codeSize + 1, stream);
            break;
    }
    PutByte(stream, gif::kBlockTerminator);
}

void CxImageGIF::StartPixels(const CxImage& frame) {
    pixelImage_ = &frame;
    cursorX_ = 0;
    cursorY_ = static_cast<int32_t>(frame.GetHeight()) - 1;
    pixelsLeft_ = static_cast<int64_t>(frame.GetWidth()) * frame.GetHeight();
}

int CxImageGIF::NextPixel() {
    if (pixelsLeft_ <= 0) return -1;
    --pixelsLeft_;
    const int value = pixelImage_->GetPixelIndex(cursorX_, cursorY_);
    if (++cursorX_ == static_cast<int32_t>(pixelImage_->GetWidth())) {
        cursorX_ = 0;
        --cursorY_;
    }
    return value;
}

// A file that could not be written completely is a failed encode, not a success with a note.
bool CxImageGIF::FinishStream(ImageStream& stream) {
    stream.Flush();
    if (stream.Error() == 0) return true;
    SetLastError("Write Error in GIF file");
    return false;
}

bool CxImageGIF::EncodeTrueColor(ImageStream& stream) {
    WriteHeader(stream, *this);
    WriteComment(stream);
    const int32_t width = static_cast<int32_t>(GetWidth());
    const int32_t height = static_cast<int32_t>(GetHeight());
    // Cells run from the top-left corner; rows are stored bottom first.
    for (int32_t top = 0; top < height; top += gif::kCellHeight) {
        for (int32_t left = 0; left < width; left += gif::kCellWidth) {
            const int32_t cellWidth = std::min(gif::kCellWidth, width - left);
            const int32_t cellHeight = std::min(gif::kCellHeight, height - top);
            CxImageGIF cell;
            if (!cell.Create(cellWidth, cellHeight, 8, kFormatGif)) {
                SetLastError(cell.GetLastError());
                return false;
            }
            cell.SetCodecOption(GetCodecOption(kFormatGif), kFormatGif);
            RgbQuad palette[256] = {};
            for (int32_t y = 0; y < cellHeight; ++y) {
                for (int32_t x = 0; x < cellWidth; ++x) {
                    const uint8_t index = static_cast<uint8_t>(1 + gif::kCellWidth * y + x);
                    const int32_t sourceRow = height - 1 - (top + y);
                    palette[index] = GetPixelColor(left + x, sourceRow);
                    palette[index].rgbReserved = 0;
                    cell.SetPixelIndex(x, cellHeight - 1 - y, index);
                }
            }
            cell.SetPalette(palette, 256);
            cell.info_.xOffset = left;
            cell.info_.yOffset = top;
            WriteGraphicControl(stream, cell);
            WriteImage(stream, cell, true);
        }
    }
    PutByte(stream, gif::kTrailer);
    return FinishStream(stream);
}

bool CxImageGIF::EncodeFrames(ImageStream* stream, const std::vector<CxImage*>& frames) {
    if (stream == nullptr) {
        SetLastError("invalid file pointer");
        return false;
    }
    if (frames.empty()) {
        SetLastError("multipage GIF, no images!");
        return false;
    }
    for (const CxImage* frame : frames) {
        if (frame == nullptr) {
            SetLastError("Bad image pointer");
            return false;
        }
        if (!frame->IsValid()) {
            SetLastError("Empty image");
            return false;
        }
        if (frame->GetPalette() == nullptr || frame->GetBpp() > 8) {
            SetLastError(
                "CxImageGIF::Encode cannot create animated GIFs with a true color frame. Use "
                "DecreaseBpp before");
            return false;
        }
    }
    const CxImage& first = *frames.front();
    WriteHeader(*stream, first);
    if (loops_ != 1) WriteLoopExtension(*stream);
    const uint32_t firstColors = first.GetNumColors();
    for (CxImage* frame : frames) {
        WriteGraphicControl(*stream, *frame);
        // A frame whose palette differs from the global table carries its own.
        const bool samePalette =
            frame->GetBpp() == first.GetBpp() && frame->GetNumColors() == firstColors &&
            std::memcmp(frame->GetPalette(), first.GetPalette(), firstColors * 4) == 0;
        WriteImage(*stream, *frame, !samePalette);
    }
    PutByte(*stream, gif::kTrailer);
    return FinishStream(*stream);
}

bool CxImageGIF::Encode(ImageStream* stream) {
    if (!CheckWriterPreconditions(*this, stream)) return false;
    if (GetBpp() > 8) return EncodeTrueColor(*stream);
    if (GetNumFrames() > 1 && !frames_.empty()) return EncodeFrames(stream, frames_);

    WriteHeader(*stream, *this);
    WriteGraphicControl(*stream, *this);
    WriteComment(*stream);
    WriteImage(*stream, *this, false);
    PutByte(*stream, gif::kTrailer);
    return FinishStream(*stream);
}

bool EncodeGif(CxImage& image, ImageStream* stream) {
    CxImageGIF writer;
    writer.Ghost(image);
    if (writer.Encode(stream)) return true;
    image.SetLastError(writer.GetLastError());
    return false;
}
