#include "engine/pdf/pdf_security_aes.h"

#include <mupdf/fitz.h>

#include <algorithm>
#include <cstring>

#include "engine/pdf/pdf_security.h"
#include "protocol/byte_order.h"

namespace engine {
namespace {

// Revision 6 takes the password as UTF-8 after SASLprep, at most 127 bytes. The converter
// prepares it; the bytes given are taken as they are, cut to that length.
constexpr size_t kMaxPasswordBytes = 127;

void Sha256(const uint8_t* data, size_t length, uint8_t digest[32]) {
    fz_sha256 sha;
    fz_sha256_init(&sha);
    fz_sha256_update(&sha, data, length);
    fz_sha256_final(&sha, digest);
}

// AES-256-CBC without padding; length is a multiple of 16. A zero vector when iv is null.
void Aes256Cbc(const uint8_t key[32], const uint8_t* iv, const uint8_t* data, size_t length,
               uint8_t* out) {
    fz_aes aes;
    fz_aes_setkey_enc(&aes, key, 256);
    uint8_t vector[16] = {};
    if (iv) std::memcpy(vector, iv, 16);
    fz_aes_crypt_cbc(&aes, FZ_AES_ENCRYPT, length, vector, data, out);
}

// Pseudo-random bytes for a purpose (label), from a secret seed.
void Derive(const uint8_t seed[32], const char* label, uint8_t* out, size_t length) {
    uint8_t mac[32];
    HmacSha256(seed, 32, reinterpret_cast<const uint8_t*>(label), std::strlen(label), mac);
    std::memcpy(out, mac, std::min<size_t>(length, 32));
}

}  // namespace

void HmacSha256(const uint8_t* key, size_t keyLength, const uint8_t* message, size_t messageLength,
                uint8_t mac[32]) {
    uint8_t block[64] = {};
    if (keyLength > 64) {
        Sha256(key, keyLength, block);
    } else {
        std::memcpy(block, key, keyLength);
    }
    uint8_t inner[64];
    uint8_t outer[64];
    for (int i = 0; i < 64; ++i) {
        inner[i] = static_cast<uint8_t>(block[i] ^ 0x36);
        outer[i] = static_cast<uint8_t>(block[i] ^ 0x5C);
    }
    uint8_t innerHash[32];
    fz_sha256 sha;
    fz_sha256_init(&sha);
    fz_sha256_update(&sha, inner, 64);
    fz_sha256_update(&sha, message, messageLength);
    fz_sha256_final(&sha, innerHash);
    fz_sha256_init(&sha);
    fz_sha256_update(&sha, outer, 64);
    fz_sha256_update(&sha, innerHash, 32);
    fz_sha256_final(&sha, mac);
}

void HardenedHash(const uint8_t* password, size_t passwordLength, const uint8_t salt[8],
                  const uint8_t* extra, uint8_t hash[32]) {
    passwordLength = std::min(passwordLength, kMaxPasswordBytes);
    const size_t extraLength = extra ? 48 : 0;
    // K is 32, 48 or 64 bytes long; the rounds repeat (password, K, extra) 64 times.
    uint8_t k[64];
    size_t kLength = 32;
    fz_sha256 sha256;
    fz_sha256_init(&sha256);
    fz_sha256_update(&sha256, password, passwordLength);
    fz_sha256_update(&sha256, salt, 8);
    if (extra) fz_sha256_update(&sha256, extra, extraLength);
    fz_sha256_final(&sha256, k);

    // At most (127 + 64 + 48) * 64 bytes.
    static constexpr size_t kMaxSequence = (kMaxPasswordBytes + 64 + 48) * 64;
    uint8_t k1[kMaxSequence];
    uint8_t e[kMaxSequence];
    for (int round = 0;; ++round) {
        const size_t sequence = passwordLength + kLength + extraLength;
        for (int i = 0; i < 64; ++i) {
            uint8_t* at = k1 + i * sequence;
            std::memcpy(at, password, passwordLength);
            std::memcpy(at + passwordLength, k, kLength);
            if (extra) std::memcpy(at + passwordLength + kLength, extra, extraLength);
        }
        const size_t length = sequence * 64;  // a multiple of 16: 64 copies
        fz_aes aes;
        fz_aes_setkey_enc(&aes, k, 128);
        uint8_t iv[16];
        std::memcpy(iv, k + 16, 16);
        fz_aes_crypt_cbc(&aes, FZ_AES_ENCRYPT, length, iv, k1, e);
        // The first 16 bytes of E as a number modulo 3 equal their sum modulo 3 (256 = 1 mod 3).
        unsigned sum = 0;
        for (int i = 0; i < 16; ++i) sum += e[i];
        switch (sum % 3) {
            case 0: {
                fz_sha256 sha;
                fz_sha256_init(&sha);
                fz_sha256_update(&sha, e, length);
                fz_sha256_final(&sha, k);
                kLength = 32;
                break;
            }
            case 1: {
                fz_sha384 sha;
                fz_sha384_init(&sha);
                fz_sha384_update(&sha, e, length);
                fz_sha384_final(&sha, k);
                kLength = 48;
                break;
            }
            default: {
                fz_sha512 sha;
                fz_sha512_init(&sha);
                fz_sha512_update(&sha, e, length);
                fz_sha512_final(&sha, k);
                kLength = 64;
                break;
            }
        }
        // At least 64 rounds, then until the last byte of E is at most the round number - 32.
        if (round >= 63 && e[length - 1] <= round - 31) break;
    }
    std::memcpy(hash, k, 32);
}

// Why deterministic values are sound here. The format asks for a random file key, random salts
// and random initialisation vectors; every one of them is derived instead with HMAC-SHA-256 from
// a seed that is itself an HMAC over the document identifier under a key made from both
// passwords. The identifier is a digest of the document's content and options, so a different
// password or different content gives unrelated keys, salts and vectors, and nobody without a
// password can compute them (the identifier alone is public, the passwords are not). Each
// string and stream gets its own vector from its object number and index, so no vector repeats
// within a file. What is given up is only that the same content, options and passwords give the
// same ciphertext, which is the property wanted: the same input makes the same file.
Aes256Security ComputeAes256Security(const SecurityRequest& request, const uint8_t documentId[16]) {
    Aes256Security security{};
    security.permissions = PermissionValue(request.permissions);
    const std::string& user = request.userPassword;
    // Without an owner password the user password serves as both.
    const std::string& owner = request.ownerPassword.empty() ? user : request.ownerPassword;
    const size_t userLength = std::min(user.size(), kMaxPasswordBytes);
    const size_t ownerLength = std::min(owner.size(), kMaxPasswordBytes);

    // The secret: both passwords, each with its length so that the split cannot be moved.
    fz_sha256 sha;
    uint8_t secret[32];
    uint8_t lengths[2] = {static_cast<uint8_t>(ownerLength), static_cast<uint8_t>(userLength)};
    fz_sha256_init(&sha);
    fz_sha256_update(&sha, lengths, 2);
    fz_sha256_update(&sha, reinterpret_cast<const uint8_t*>(owner.data()), ownerLength);
    fz_sha256_update(&sha, reinterpret_cast<const uint8_t*>(user.data()), userLength);
    fz_sha256_final(&sha, secret);
    uint8_t seed[32];
    HmacSha256(secret, 32, documentId, 16, seed);

    Derive(seed, "file key", security.fileKey, 32);
    Derive(seed, "initialisation vectors", security.ivSeed, 32);
    uint8_t salts[32];
    Derive(seed, "salts", salts, 32);  // user validation, user key, owner validation, owner key

    const auto* userBytes = reinterpret_cast<const uint8_t*>(user.data());
    const auto* ownerBytes = reinterpret_cast<const uint8_t*>(owner.data());
    uint8_t hash[32];

    // /U and /UE.
    HardenedHash(userBytes, userLength, salts, nullptr, security.user);
    std::memcpy(security.user + 32, salts, 16);
    HardenedHash(userBytes, userLength, salts + 8, nullptr, hash);
    Aes256Cbc(hash, nullptr, security.fileKey, 32, security.userKey);

    // /O and /OE, which also hash the whole of /U.
    HardenedHash(ownerBytes, ownerLength, salts + 16, security.user, security.owner);
    std::memcpy(security.owner + 32, salts + 16, 16);
    HardenedHash(ownerBytes, ownerLength, salts + 24, security.user, hash);
    Aes256Cbc(hash, nullptr, security.fileKey, 32, security.ownerKey);

    // /Perms: P extended to 64 bits, metadata encrypted, the marker, four free bytes.
    uint8_t perms[16];
    PutLe32(perms, static_cast<uint32_t>(security.permissions));
    std::memset(perms + 4, 0xFF, 4);
    std::memcpy(perms + 8, "Tadb", 4);
    Derive(seed, "permissions", perms + 12, 4);
    Aes256Cbc(security.fileKey, nullptr, perms, 16, security.perms);
    return security;
}

size_t EncryptedAesLength(size_t length) { return 16 + (length / 16 + 1) * 16; }

void EncryptAes(const Aes256Security& security, uint32_t objectNumber, uint32_t index,
                const uint8_t* data, size_t length, uint8_t* out) {
    uint8_t counter[8];
    PutLe32(counter, objectNumber);
    PutLe32(counter + 4, index);
    uint8_t mac[32];
    HmacSha256(security.ivSeed, 32, counter, 8, mac);
    std::memcpy(out, mac, 16);
    // PKCS #7 padding: 1 to 16 bytes, each holding the padding's length.
    const size_t whole = length / 16 * 16;
    const size_t padded = whole + 16;
    std::memcpy(out + 16, data, length);
    std::memset(out + 16 + length, static_cast<int>(padded - length), padded - length);
    fz_aes aes;
    fz_aes_setkey_enc(&aes, security.fileKey, 256);
    uint8_t iv[16];
    std::memcpy(iv, mac, 16);
    fz_aes_crypt_cbc(&aes, FZ_AES_ENCRYPT, padded, iv, out + 16, out + 16);
}

}  // namespace engine
