// PGX and PNM writers of the JPEG-2000 family: a short text header and the raw 8-bit samples,
// top row first (PGX: one grey component, big-endian order; PNM: binary grey or RGB map).

#include <string>
#include <vector>

#include "codecs/image_stream.h"
#include "codecs/jpeg2000_family.h"

namespace {

bool WriteHeaderAndRows(const ComponentView& view, ImageStream& stream, const std::string& header,
                        std::string& error) {
    bool written = stream.Write(header.data(), 1, header.size()) == header.size();
    std::vector<uint8_t> row(static_cast<size_t>(view.width) * view.Components());
    for (uint32_t y = 0; written && y < view.height; ++y) {
        view.ReadRow(y, row.data());
        written = stream.Write(row.data(), 1, row.size()) == row.size();
    }
    if (written) written = stream.Flush() && stream.Error() == 0;
    if (!written) error = "error: cannot encode image";
    return written;
}

}  // namespace

bool WritePgx(const ComponentView& view, ImageStream& stream, std::string& error) {
    const std::string header =
        "PG ML + 8 " + std::to_string(view.width) + " " + std::to_string(view.height) + "\n";
    return WriteHeaderAndRows(view, stream, header, error);
}

bool WritePnm(const ComponentView& view, ImageStream& stream, std::string& error) {
    const std::string header = std::string(view.grey ? "P5" : "P6") + "\n" +
                               std::to_string(view.width) + " " + std::to_string(view.height) +
                               "\n255\n";
    return WriteHeaderAndRows(view, stream, header, error);
}
