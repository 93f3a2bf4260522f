#pragma once
// The PDF standard security handler, revision 3 (RC4, 40 to 128-bit keys): the values of the
// encryption dictionary and the keys that encrypt each object's strings and streams.
// Plain data only, so that it can be used inside the library's error-handling blocks.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/runtime/engine_options.h"

namespace engine {

struct StandardSecurity {
    uint8_t owner[32];    // /O
    uint8_t user[32];     // /U
    uint8_t fileKey[16];  // the first keyLength bytes are used
    size_t keyLength;     // bytes
    int32_t permissions;  // /P
};

// /P for the permission bits the caller asked for: bits 7-8 and 13-32 set as the format
// requires, accessibility always allowed, and each revision-3 bit following its basic bit
// (fill forms 256 and annotate 32, assemble 1024 and modify 8, high-quality print 2048 and
// print 4). Bits 1-2 are cleared.
int32_t PermissionValue(int requested);

// Computes /O, /U and the file key for request and the first document identifier.
StandardSecurity ComputeStandardSecurity(const SecurityRequest& request,
                                         const uint8_t documentId[16]);

// The RC4 key for object num, generation gen; returns its length (at most 16).
size_t ObjectKey(const StandardSecurity& security, int num, int gen, uint8_t key[16]);

// Encrypts (or decrypts) data in place with RC4.
void Rc4InPlace(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length);

}  // namespace engine
