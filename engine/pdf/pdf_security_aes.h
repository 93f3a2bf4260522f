#pragma once
// The PDF standard security handler, revision 6 (AES-256): the hardened password hash, the
// values of the encryption dictionary, and AES-256-CBC for strings and streams. Plain data
// only, so that it can be used inside the library's error-handling blocks.

#include <cstddef>
#include <cstdint>

#include "engine/runtime/engine_options.h"

namespace engine {

struct Aes256Security {
    uint8_t fileKey[32];
    uint8_t owner[48];     // /O: hash, validation salt, key salt
    uint8_t user[48];      // /U
    uint8_t ownerKey[32];  // /OE: the file key under the owner password
    uint8_t userKey[32];   // /UE: the file key under the user password
    uint8_t perms[16];     // /Perms: the permissions under the file key
    int32_t permissions;   // /P
    uint8_t ivSeed[32];    // secret key from which the initialisation vectors are derived
};

// HMAC-SHA-256 of message under key.
void HmacSha256(const uint8_t* key, size_t keyLength, const uint8_t* message, size_t messageLength,
                uint8_t mac[32]);

// The hardened hash of revision 6 over password, an 8-byte salt and, for the owner entries,
// the 48 bytes of /U (extra is null otherwise).
void HardenedHash(const uint8_t* password, size_t passwordLength, const uint8_t salt[8],
                  const uint8_t* extra, uint8_t hash[32]);

// Computes every entry for request and the document identifier. The file key, the salts and
// the free bytes of /Perms, which the format wants random, are derived from the passwords and
// the identifier instead (see the definition for why that is sound).
Aes256Security ComputeAes256Security(const SecurityRequest& request, const uint8_t documentId[16]);

// The bytes of one encrypted string or stream: a 16-byte initialisation vector, then the data
// padded to whole blocks and encrypted. Writes EncryptedAesLength(length) bytes to out. The
// vector is derived from (object number, index), which must differ for every string and
// stream of the file.
size_t EncryptedAesLength(size_t length);
void EncryptAes(const Aes256Security& security, uint32_t objectNumber, uint32_t index,
                const uint8_t* data, size_t length, uint8_t* out);

}  // namespace engine
