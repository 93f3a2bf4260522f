#pragma once
// A minimal ZIP archive writer for the XPS fixtures (deflated or stored entries).

#include <cstdint>
#include <string>
#include <vector>

namespace xpsfixture {

class ZipWriter {
  public:
    // Adds one entry; data is deflated when that makes it smaller.
    void Add(const std::string& name, const std::vector<uint8_t>& data);
    void Add(const std::string& name, const std::string& text);
    // The archive: local entries, central directory and end record.
    std::vector<uint8_t> Finish() const;

  private:
    struct Entry {
        std::string name;
        uint32_t crc = 0;
        uint32_t size = 0;
        uint32_t storedSize = 0;
        uint16_t method = 0;
        uint32_t offset = 0;
    };
    std::vector<Entry> entries_;
    std::vector<uint8_t> body_;
};

}  // namespace xpsfixture
