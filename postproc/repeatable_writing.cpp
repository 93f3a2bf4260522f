#include "postproc/repeatable_writing.h"

#include <qpdf/QPDFCryptoProvider.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "platform/platform.h"

namespace mstar {
namespace {

std::string ReadToEnd(std::FILE* file) {
    std::string bytes;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) bytes.append(buffer, got);
    return bytes;
}

std::string Sha256(const std::string& data) {
    auto sha = QPDFCryptoProvider::getImpl();
    sha->SHA2_init(256);
    sha->SHA2_update(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    sha->SHA2_finalize();
    return sha->SHA2_digest();
}

// Each field with its length, so that no two different lists give the same text.
void Append(std::string& out, const std::string& field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

}  // namespace

void SeededRandomData::provideRandomData(unsigned char* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (used_ == block_.size()) {
            std::string input = seed_;
            Append(input, std::to_string(counter_++));
            block_ = Sha256(input);
            used_ = 0;
        }
        data[i] = static_cast<unsigned char>(block_[used_++]);
    }
}

std::string StampSeed(const std::string& originalPath, QPDF& pdf, const OverlayRequest& request) {
    std::FILE* file = platform::OpenFile(originalPath, "rb");
    if (file == nullptr) throw std::runtime_error("cannot read " + originalPath);
    const std::string bytes = ReadToEnd(file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) throw std::runtime_error("cannot read " + originalPath);
    std::string seed;
    Append(seed, bytes);
    Append(seed, pdf.isEncrypted() ? pdf.getEncryptionKey() : std::string());
    Append(seed, request.text);
    for (double value : {request.red, request.green, request.blue, request.fontSize,
                         request.rotationDegrees, request.offsetX, request.offsetY}) {
        Append(seed, std::to_string(value));
    }
    Append(seed, std::to_string(static_cast<int>(request.anchor)));
    Append(seed, request.behindContent ? "behind" : "on top");
    return Sha256(seed);
}

void MakeWriterRepeatable(QPDFWriter& writer, bool encrypted) {
    if (encrypted) {
        writer.setStaticID(true);
    } else {
        writer.setDeterministicID(true);
    }
}

bool ReplaceFixedSecondId(const std::string& path) {
    // The value qpdf writes for a fixed identifier.
    static const std::string kFixed = "<31415926535897932384626433832795>]";
    std::FILE* file = platform::OpenFile(path, "r+b");
    if (file == nullptr) throw std::runtime_error("cannot open " + path);
    const std::string bytes = ReadToEnd(file);
    const size_t at = bytes.rfind(kFixed);
    const bool failed = std::ferror(file) != 0;
    if (failed || at == std::string::npos || bytes.rfind("/ID", at) == std::string::npos) {
        std::fclose(file);
        if (failed) throw std::runtime_error("cannot read " + path);
        return false;
    }
    const std::string digest = Sha256(bytes);
    std::string hex;
    for (size_t i = 0; i < 16; ++i) {
        static constexpr char kDigits[] = "0123456789abcdef";
        const auto byte = static_cast<unsigned char>(digest[i]);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    // A PDF the post-processor writes is far below 2 GiB, the most a long offset tells everywhere.
    const bool written = std::fseek(file, static_cast<long>(at + 1), SEEK_SET) == 0 &&
                         std::fwrite(hex.data(), 1, hex.size(), file) == hex.size();
    if (std::fclose(file) != 0 || !written) throw std::runtime_error("cannot write " + path);
    return true;
}

ScopedRandomData::ScopedRandomData(RandomDataProvider* provider)
    : previous_(QUtil::getRandomDataProvider()) {
    QUtil::setRandomDataProvider(provider);
}

ScopedRandomData::~ScopedRandomData() { QUtil::setRandomDataProvider(previous_); }

}  // namespace mstar
