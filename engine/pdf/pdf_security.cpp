#include "engine/pdf/pdf_security.h"

#include <mupdf/fitz.h>

#include <algorithm>
#include <cstring>

#include "protocol/byte_order.h"

namespace engine {
namespace {

constexpr uint8_t kPasswordPad[32] = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

void PadPassword(const std::string& password, uint8_t padded[32]) {
    size_t used = std::min<size_t>(password.size(), 32);
    std::memcpy(padded, password.data(), used);
    std::memcpy(padded + used, kPasswordPad, 32 - used);
}

// Revision 3 hashes the first digest fifty more times over the key's length.
void StretchDigest(uint8_t digest[16], size_t keyLength) {
    for (int i = 0; i < 50; ++i) {
        fz_md5 md5;
        fz_md5_init(&md5);
        fz_md5_update(&md5, digest, keyLength);
        fz_md5_final(&md5, digest);
    }
}

// RC4 with key, then nineteen more passes with the key's bytes XORed with the pass number.
void Rc4TwentyPasses(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length) {
    uint8_t passKey[16];
    for (int pass = 0; pass < 20; ++pass) {
        for (size_t i = 0; i < keyLength; ++i) passKey[i] = static_cast<uint8_t>(key[i] ^ pass);
        Rc4InPlace(passKey, keyLength, data, length);
    }
}

}  // namespace

int32_t PermissionValue(int requested) {
    uint32_t p = static_cast<uint32_t>(requested);
    p &= ~uint32_t{0x3 | 256 | 1024 | 2048};
    p |= 0xC0u | 0xFFFFF000u | 512u;
    if (p & 32) p |= 256;
    if (p & 8) p |= 1024;
    if (p & 4) p |= 2048;
    return static_cast<int32_t>(p);
}

void Rc4InPlace(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length) {
    fz_arc4 rc4;
    fz_arc4_init(&rc4, key, keyLength);
    fz_arc4_encrypt(&rc4, data, data, length);
}

StandardSecurity ComputeStandardSecurity(const SecurityRequest& request,
                                         const uint8_t documentId[16]) {
    StandardSecurity security{};
    security.keyLength = static_cast<size_t>(request.keyBits / 8);
    security.permissions = PermissionValue(request.permissions);
    const size_t n = security.keyLength;

    uint8_t paddedUser[32];
    uint8_t paddedOwner[32];
    PadPassword(request.userPassword, paddedUser);
    // Without an owner password the user password serves as both.
    PadPassword(request.ownerPassword.empty() ? request.userPassword : request.ownerPassword,
                paddedOwner);

    // /O: the padded user password under a key derived from the owner password.
    uint8_t ownerKey[16];
    fz_md5 md5;
    fz_md5_init(&md5);
    fz_md5_update(&md5, paddedOwner, 32);
    fz_md5_final(&md5, ownerKey);
    StretchDigest(ownerKey, n);
    std::memcpy(security.owner, paddedUser, 32);
    Rc4TwentyPasses(ownerKey, n, security.owner, 32);

    // The file key.
    uint8_t permissionBytes[4];
    PutLe32(permissionBytes, static_cast<uint32_t>(security.permissions));
    uint8_t digest[16];
    fz_md5_init(&md5);
    fz_md5_update(&md5, paddedUser, 32);
    fz_md5_update(&md5, security.owner, 32);
    fz_md5_update(&md5, permissionBytes, 4);
    fz_md5_update(&md5, documentId, 16);
    fz_md5_final(&md5, digest);
    StretchDigest(digest, n);
    std::memcpy(security.fileKey, digest, n);

    // /U: the hash of the padding and the identifier, encrypted; the second half is free.
    fz_md5_init(&md5);
    fz_md5_update(&md5, kPasswordPad, 32);
    fz_md5_update(&md5, documentId, 16);
    fz_md5_final(&md5, security.user);
    Rc4TwentyPasses(security.fileKey, n, security.user, 16);
    std::memcpy(security.user + 16, kPasswordPad, 16);
    return security;
}

size_t ObjectKey(const StandardSecurity& security, int num, int gen, uint8_t key[16]) {
    // The low three bytes of the object number, then the two of the generation.
    uint8_t suffix[5];
    PutLe32(suffix, static_cast<uint32_t>(num));
    PutLe16(suffix + 3, static_cast<uint16_t>(gen));
    fz_md5 md5;
    fz_md5_init(&md5);
    fz_md5_update(&md5, security.fileKey, security.keyLength);
    fz_md5_update(&md5, suffix, 5);
    fz_md5_final(&md5, key);
    return std::min<size_t>(security.keyLength + 5, 16);
}

}  // namespace engine
