#include "support/xps_zip.h"

#include <zlib.h>

namespace xpsfixture {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Raw deflate (no zlib header), as ZIP method 8 wants it. Empty on failure.
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::vector<uint8_t> out(deflateBound(&stream, data.size()) + 16);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::vector<uint8_t>{};
}

}  // namespace

void ZipWriter::Add(const std::string& name, const std::string& text) {
    Add(name, std::vector<uint8_t>(text.begin(), text.end()));
}

void ZipWriter::Add(const std::string& name, const std::vector<uint8_t>& data) {
    Entry entry;
    entry.name = name;
    entry.crc = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
    entry.size = static_cast<uint32_t>(data.size());
    entry.offset = static_cast<uint32_t>(body_.size());
    std::vector<uint8_t> packed = Deflate(data);
    bool deflated = !packed.empty() && packed.size() < data.size();
    const std::vector<uint8_t>& stored = deflated ? packed : data;
    entry.method = deflated ? 8 : 0;
    entry.storedSize = static_cast<uint32_t>(stored.size());

    Put32(body_, 0x04034B50);
    Put16(body_, 20);  // version needed
    Put16(body_, 0);   // flags
    Put16(body_, entry.method);
    Put16(body_, 0);     // time
    Put16(body_, 0x21);  // date: 1980-01-01
    Put32(body_, entry.crc);
    Put32(body_, entry.storedSize);
    Put32(body_, entry.size);
    Put16(body_, static_cast<uint32_t>(name.size()));
    Put16(body_, 0);  // extra field
    body_.insert(body_.end(), name.begin(), name.end());
    body_.insert(body_.end(), stored.begin(), stored.end());
    entries_.push_back(entry);
}

std::vector<uint8_t> ZipWriter::Finish() const {
    std::vector<uint8_t> out = body_;
    uint32_t directoryOffset = static_cast<uint32_t>(out.size());
    for (const Entry& entry : entries_) {
        Put32(out, 0x02014B50);
        Put16(out, 20);  // version made by
        Put16(out, 20);  // version needed
        Put16(out, 0);
        Put16(out, entry.method);
        Put16(out, 0);
        Put16(out, 0x21);
        Put32(out, entry.crc);
        Put32(out, entry.storedSize);
        Put32(out, entry.size);
        Put16(out, static_cast<uint32_t>(entry.name.size()));
        Put16(out, 0);  // extra
        Put16(out, 0);  // comment
        Put16(out, 0);  // disk
        Put16(out, 0);  // internal attributes
        Put32(out, 0);  // external attributes
        Put32(out, entry.offset);
        out.insert(out.end(), entry.name.begin(), entry.name.end());
    }
    uint32_t directorySize = static_cast<uint32_t>(out.size()) - directoryOffset;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(entries_.size()));
    Put16(out, static_cast<uint32_t>(entries_.size()));
    Put32(out, directorySize);
    Put32(out, directoryOffset);
    Put16(out, 0);
    return out;
}

}  // namespace xpsfixture
