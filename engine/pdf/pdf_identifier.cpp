#include "engine/pdf/pdf_identifier.h"

#include <mupdf/fitz.h>

#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/runtime/mupdf_guard.h"
#include "protocol/byte_order.h"

namespace engine {
namespace {

// Zero bytes are written in hexadecimal, so the placeholder's first entry has a fixed form in
// the trailer; the second is 32 hexadecimal digits of whatever the library put there.
constexpr std::string_view kPlaceholderStart = "/ID[<00000000000000000000000000000000><";
constexpr size_t kHexDigits = 32;

bool IsHexDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The offset of the placeholder, or npos.
size_t FindPlaceholder(const unsigned char* pdf, size_t length) {
    const std::string_view text(reinterpret_cast<const char*>(pdf), length);
    const size_t at = text.rfind(kPlaceholderStart);
    if (at == std::string_view::npos) return at;
    const size_t second = at + kPlaceholderStart.size();
    if (second + kHexDigits + 2 > length || text.substr(second + kHexDigits, 2) != ">]") {
        return std::string_view::npos;
    }
    for (size_t i = 0; i < kHexDigits; ++i) {
        if (!IsHexDigit(pdf[second + i])) return std::string_view::npos;
    }
    return at;
}

void HashLength(fz_sha256& sha, size_t length) {
    uint8_t bytes[8];
    PutLe32(bytes, static_cast<uint32_t>(length));
    PutLe32(bytes + 4, static_cast<uint32_t>(static_cast<uint64_t>(length) >> 32));
    fz_sha256_update(&sha, bytes, 8);
}

}  // namespace

void SetPlaceholderId(fz_context* ctx, pdf_document* doc) {
    static constexpr char kZeros[16] = {};
    pdf_obj* ids = pdf_new_array(ctx, doc, 2);
    RunWithCleanup(
        ctx,
        [&] {
            pdf_array_push_drop(ctx, ids, pdf_new_string(ctx, kZeros, 16));
            pdf_array_push_drop(ctx, ids, pdf_new_string(ctx, kZeros, 16));
            pdf_dict_put(ctx, pdf_trailer(ctx, doc), PDF_NAME(ID), ids);
        },
        [&] { pdf_drop_obj(ctx, ids); });
}

void ComputeDocumentId(const unsigned char* pdf, size_t length,
                       const std::vector<std::string>& identity, uint8_t id[16]) {
    fz_sha256 sha;
    fz_sha256_init(&sha);
    // Each argument with its length, so that no two lists hash alike.
    HashLength(sha, identity.size());
    for (const std::string& argument : identity) {
        HashLength(sha, argument.size());
        fz_sha256_update(&sha, reinterpret_cast<const unsigned char*>(argument.data()),
                         argument.size());
    }
    fz_sha256_update(&sha, pdf, length);
    uint8_t digest[32];
    fz_sha256_final(&sha, digest);
    std::memcpy(id, digest, 16);
}

bool RestorePlaceholderId(unsigned char* pdf, size_t length) {
    const size_t at = FindPlaceholder(pdf, length);
    if (at == std::string_view::npos) return false;
    std::memset(pdf + at + kPlaceholderStart.size(), '0', kHexDigits);
    return true;
}

bool ReplacePlaceholderId(unsigned char* pdf, size_t length, const uint8_t id[16]) {
    const size_t at = FindPlaceholder(pdf, length);
    if (at == std::string_view::npos) return false;
    char hex[kHexDigits + 1];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", id[i]);
    // The first and second entries are the same in a new file.
    std::memcpy(pdf + at + 5, hex, kHexDigits);
    std::memcpy(pdf + at + kPlaceholderStart.size(), hex, kHexDigits);
    return true;
}

}  // namespace engine
