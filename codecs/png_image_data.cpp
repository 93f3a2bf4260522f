#include "codecs/png_image_data.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kWindowBits = 15;
constexpr size_t kWindowBytes = size_t{1} << kWindowBits;
constexpr int kMatchLevel = 6;
constexpr int kMemoryLevel = 9;  // a larger hash table: fewer collisions, faster matching
// The match search of that level with half its chain length: on page images a fifth less
// time for half a percent more bytes.
constexpr int kGoodLength = 8;
constexpr int kMaxLazy = 16;
constexpr int kNiceLength = 128;
constexpr int kMaxChain = 64;
// About a quarter MiB of filtered rows per band: the decision is made per band, and the
// dictionary carried across a band border costs about the same whatever its size.
constexpr size_t kBandBytes = 256 * 1024;
// A band counts as noise when fewer than half its bytes are zero and fewer than this many
// percent of its sampled positions repeat 8 bytes seen within the window. Measured on page
// images: photographs stay under 3 %, text, drawings and tiled images above 15 %.
constexpr size_t kNoiseZeroPercent = 50;
constexpr size_t kNoiseRepeatPercent = 8;
constexpr int kRepeatHashBits = 16;
// Repeats are counted over the band's first bytes only: rows of one band are alike.
constexpr size_t kRepeatSampleBytes = 64 * 1024;
// A band where this many percent of the bytes repeat the byte before (smooth shading, where
// the filters leave long runs of one small residue) is run-length coded too: on such bands
// the match search takes five times as long for a result no smaller. Below that range matches
// over distances win (text, drawings); above it, blank space that any search codes fast.
constexpr size_t kShadingRunPercentFrom = 40;
constexpr size_t kShadingRunPercentTo = 60;

enum Filter : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

// Residue byte as a signed magnitude: the usual measure of how well a filter did.
inline uint8_t Magnitude(uint8_t residue) { return std::min(residue, static_cast<uint8_t>(-residue)); }

// 16-bit arithmetic: twice the lanes of int where the loop vectorises.
inline uint8_t PaethPredictor(int16_t a, int16_t b, int16_t c) {
    const auto pa = static_cast<int16_t>(std::abs(static_cast<int16_t>(b - c)));
    const auto pb = static_cast<int16_t>(std::abs(static_cast<int16_t>(a - c)));
    const auto pc = static_cast<int16_t>(std::abs(static_cast<int16_t>(a + b - 2 * c)));
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

template <Filter kind>
inline uint8_t Residue(int16_t x, int16_t a, int16_t b, int16_t c) {
    int16_t predicted = 0;
    if constexpr (kind == kSub) predicted = a;
    if constexpr (kind == kUp) predicted = b;
    if constexpr (kind == kAverage) predicted = static_cast<int16_t>((a + b) >> 1);
    if constexpr (kind == kPaeth) predicted = PaethPredictor(a, b, c);
    return static_cast<uint8_t>(x - predicted);
}

// One filter over a row, the residues written to out when kWrite; returns their sum. The
// first pixel, which has nothing to its left, is done apart so that the main loop vectorises.
template <Filter kind, bool kWrite>
uint64_t ApplyFilter(const uint8_t* row, const uint8_t* above, size_t bytes, size_t back, uint8_t* out) {
    uint64_t sum = 0;
    const size_t head = std::min(back, bytes);
    for (size_t i = 0; i < head; ++i) {
        const uint8_t residue = Residue<kind>(row[i], 0, above[i], 0);
        if constexpr (kWrite) out[i] = residue;
        sum += Magnitude(residue);
    }
    // Sums in 16 bits over 256 bytes at a time, which cannot overflow: cheap to vectorise.
    for (size_t start = head; start < bytes; start += 256) {
        const size_t end = std::min(bytes, start + 256);
        uint16_t part = 0;
        for (size_t i = start; i < end; ++i) {
            const uint8_t residue = Residue<kind>(row[i], row[i - back], above[i], above[i - back]);
            if constexpr (kWrite) out[i] = residue;
            part = static_cast<uint16_t>(part + Magnitude(residue));
        }
        sum += part;
    }
    return sum;
}

template <bool kWrite>
uint64_t ApplyFilter(Filter kind, const uint8_t* row, const uint8_t* above, size_t bytes, size_t back,
                     uint8_t* out) {
    switch (kind) {
        case kSub: return ApplyFilter<kSub, kWrite>(row, above, bytes, back, out);
        case kUp: return ApplyFilter<kUp, kWrite>(row, above, bytes, back, out);
        case kAverage: return ApplyFilter<kAverage, kWrite>(row, above, bytes, back, out);
        case kPaeth: return ApplyFilter<kPaeth, kWrite>(row, above, bytes, back, out);
        default: return ApplyFilter<kNone, kWrite>(row, above, bytes, back, out);
    }
}

void PutBigEndian32(uLong value, std::vector<uint8_t>& out) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

PngImageData::PngImageData(size_t rowBytes, size_t pixelBytes, bool adaptiveFilters)
    : rowBytes_(rowBytes), pixelBytes_(std::max<size_t>(1, pixelBytes)), adaptive_(adaptiveFilters),
      above_(rowBytes, 0) {
    // Raw deflate: the zlib header and checksum are written here, around the joined bands.
    ready_ = deflateInit2(&zip_, kMatchLevel, Z_DEFLATED, -kWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) == Z_OK;
    adler_ = adler32(0, nullptr, 0);
}

PngImageData::~PngImageData() {
    if (ready_) deflateEnd(&zip_);
}

size_t PngImageData::BandRows() const { return std::max<size_t>(1, kBandBytes / (rowBytes_ + 1)); }

void PngImageData::FilterRow(const uint8_t* row, uint8_t* out) {
    Filter best = kNone;
    if (adaptive_) {
        // Up first: a row equal to the one above (blank margins) leaves nothing to beat.
        uint64_t bestSum = ApplyFilter<false>(kUp, row, above_.data(), rowBytes_, pixelBytes_, nullptr);
        best = kUp;
        for (const Filter kind : {kNone, kSub, kAverage, kPaeth}) {
            if (bestSum == 0) break;
            const uint64_t sum = ApplyFilter<false>(kind, row, above_.data(), rowBytes_, pixelBytes_, nullptr);
            if (sum < bestSum) {
                bestSum = sum;
                best = kind;
            }
        }
    }
    out[0] = best;
    ApplyFilter<true>(best, row, above_.data(), rowBytes_, pixelBytes_, out + 1);
    std::memcpy(above_.data(), row, rowBytes_);
}

bool PngImageData::IsShading() const {
    if (!adaptive_ || band_.size() < 16) return false;
    size_t runs = 0;
    for (size_t i = 1; i < band_.size(); ++i) runs += band_[i] == band_[i - 1];
    return runs * 100 >= band_.size() * kShadingRunPercentFrom && runs * 100 < band_.size() * kShadingRunPercentTo;
}

bool PngImageData::LooksLikeNoise() {
    if (!adaptive_ || band_.size() < 16) return false;
    const size_t zeros = static_cast<size_t>(std::count(band_.begin(), band_.end(), uint8_t{0}));
    if (zeros * 100 >= band_.size() * kNoiseZeroPercent) return false;
    // Every position goes into the table, every fourth is looked up: a repeat is found
    // whatever its distance. Runs of one byte value are left out; run-length coding has them.
    seen_.assign(size_t{1} << kRepeatHashBits, -1);
    size_t samples = 0;
    size_t repeats = 0;
    const size_t sampled = std::min(band_.size(), kRepeatSampleBytes);
    for (size_t i = 1; i + 8 <= sampled; ++i) {
        uint64_t bytes = 0;
        std::memcpy(&bytes, &band_[i], 8);
        const auto hash = static_cast<size_t>((bytes * 0x9E3779B97F4A7C15ull) >> (64 - kRepeatHashBits));
        const int32_t earlier = seen_[hash];
        seen_[hash] = static_cast<int32_t>(i);
        if (i % 4 != 0 || bytes == 0x0101010101010101ull * band_[i - 1]) continue;
        ++samples;
        if (earlier >= 0 && i - static_cast<size_t>(earlier) <= kWindowBytes &&
            std::memcmp(&band_[static_cast<size_t>(earlier)], &band_[i], 8) == 0)
            ++repeats;
    }
    return repeats * 100 < samples * kNoiseRepeatPercent;
}

bool PngImageData::Deflate(bool runLengthOnly, bool last, std::vector<uint8_t>& out) {
    if (deflateReset(&zip_) != Z_OK) return false;
    if (deflateParams(&zip_, kMatchLevel, runLengthOnly ? Z_RLE : Z_DEFAULT_STRATEGY) != Z_OK ||
        deflateTune(&zip_, kGoodLength, kMaxLazy, kNiceLength, kMaxChain) != Z_OK)
        return false;
    // The previous band's end as the dictionary: matches across the border stay possible, and
    // the decoder has those bytes as output just before.
    if (!previous_.empty() &&
        deflateSetDictionary(&zip_, previous_.data(), static_cast<uInt>(previous_.size())) != Z_OK)
        return false;
    zip_.next_in = band_.data();
    zip_.avail_in = static_cast<uInt>(band_.size());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    while (true) {
        const size_t used = out.size();
        const size_t room = deflateBound(&zip_, zip_.avail_in) + 64;
        out.resize(used + room);
        zip_.next_out = out.data() + used;
        zip_.avail_out = static_cast<uInt>(room);
        const int status = deflate(&zip_, flush);
        out.resize(used + room - zip_.avail_out);
        if (status == Z_STREAM_END || (!last && status == Z_OK && zip_.avail_out > 0)) break;
        if (status != Z_OK && status != Z_BUF_ERROR) return false;
    }
    const size_t keep = std::min(band_.size(), kWindowBytes);
    previous_.assign(band_.end() - static_cast<std::ptrdiff_t>(keep), band_.end());
    return true;
}

bool PngImageData::AddRows(const uint8_t* rows, size_t count, bool last, std::vector<uint8_t>& out) {
    if (!ready_) return false;
    if (!started_) {
        out.push_back(0x78);  // deflate, 32 KiB window
        out.push_back(0x9C);  // default level, no preset dictionary; (0x78 << 8 | 0x9C) % 31 == 0
        started_ = true;
    }
    const size_t filtered = rowBytes_ + 1;
    band_.resize(count * filtered);
    for (size_t r = 0; r < count; ++r) FilterRow(rows + r * rowBytes_, band_.data() + r * filtered);
    adler_ = adler32_z(adler_, band_.data(), band_.size());
    if (!Deflate(LooksLikeNoise() || IsShading(), last, out)) return false;
    if (last) PutBigEndian32(adler_, out);
    return true;
}
