#pragma once
// The compressed image data of a non-interlaced PNG, made band by band. Each row gets the
// filter that leaves the smallest residues (or none, for palette and sub-byte samples). Each
// band is deflated on its own, primed with the end of the band before it, and joined to it on
// a byte boundary: a band whose residues look like photograph noise (few zeros, few repeats)
// or like smooth shading (many runs of one residue) is only run-length coded, where a full
// match search costs several times as much for a result no smaller. The bands together form one zlib stream for the IDAT chunks.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class PngImageData {
  public:
    // rowBytes: one unfiltered row; pixelBytes: the distance the filters look back (at least 1).
    PngImageData(size_t rowBytes, size_t pixelBytes, bool adaptiveFilters);
    ~PngImageData();
    PngImageData(const PngImageData&) = delete;
    PngImageData& operator=(const PngImageData&) = delete;

    // False when zlib could not be set up; nothing else then works.
    bool Ready() const { return ready_; }
    // How many rows a band should hold: enough bytes for a match search to pay off.
    size_t BandRows() const;
    // Filters and deflates count rows (rowBytes each, top first, following the rows of the
    // previous call) and appends the compressed bytes to out; the first call also writes the
    // stream header, the call with last set ends the stream. False on a zlib failure.
    bool AddRows(const uint8_t* rows, size_t count, bool last, std::vector<uint8_t>& out);

  private:
    void FilterRow(const uint8_t* row, uint8_t* out);
    bool LooksLikeNoise();
    bool IsShading() const;
    bool Deflate(bool runLengthOnly, bool last, std::vector<uint8_t>& out);

    size_t rowBytes_;
    size_t pixelBytes_;
    bool adaptive_;
    bool ready_ = false;
    bool started_ = false;
    z_stream zip_{};
    uLong adler_ = 0;
    std::vector<uint8_t> above_;     // the last unfiltered row, zeros above the image
    std::vector<uint8_t> band_;      // filtered rows of the current band, type byte first
    std::vector<uint8_t> previous_;  // the end of the previous band's filtered bytes
    std::vector<int32_t> seen_;      // repeat counting: last position of each hashed 8 bytes
};
