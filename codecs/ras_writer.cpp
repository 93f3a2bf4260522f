// Sun raster writer: standard (uncompressed) type, 8-bit grey without colour map or 24-bit
// colour stored blue, green, red.

#include <algorithm>
#include <vector>

#include "codecs/image_stream.h"
#include "codecs/jpeg2000_family.h"
#include "codecs/ras_format.h"
#include "protocol/byte_order.h"

bool WriteSunRaster(const ComponentView& view, ImageStream& stream, std::string& error) {
    const uint32_t depth = view.grey ? 8 : 24;
    const uint32_t rowBytes = ras::RowBytes(view.width, depth);
    const uint64_t dataBytes = static_cast<uint64_t>(rowBytes) * view.height;
    if (dataBytes > 0xFFFFFFFFull) {
        error = "error: cannot encode image";
        return false;
    }

    std::vector<uint8_t> header;
    header.reserve(ras::kHeaderWords * 4);
    for (uint32_t word : {ras::kMagic, view.width, view.height, depth,
                          static_cast<uint32_t>(dataBytes), ras::kTypeStandard, ras::kMapNone, 0u}) {
        header.resize(header.size() + 4);
        PutBe32(header.data() + header.size() - 4, word);
    }
    bool written = stream.Write(header.data(), 1, header.size()) == header.size();

    std::vector<uint8_t> samples(static_cast<size_t>(view.width) * view.Components());
    std::vector<uint8_t> row(rowBytes, 0);
    for (uint32_t y = 0; written && y < view.height; ++y) {
        view.ReadRow(y, samples.data());
        if (view.grey) {
            std::copy(samples.begin(), samples.end(), row.begin());
        } else {
            for (uint32_t x = 0; x < view.width; ++x) {
                row[3 * x] = samples[3 * x + 2];
                row[3 * x + 1] = samples[3 * x + 1];
                row[3 * x + 2] = samples[3 * x];
            }
        }
        written = stream.Write(row.data(), 1, row.size()) == row.size();
    }
    if (written) written = stream.Flush() && stream.Error() == 0;
    if (!written) error = "error: cannot encode image";
    return written;
}
