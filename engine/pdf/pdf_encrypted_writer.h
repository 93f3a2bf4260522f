#pragma once
// Writes a finished, unencrypted PDF again with every string and stream encrypted by the
// standard security handler: revision 3 (RC4) up to 128-bit keys, revision 6 (AES-256) at 256.

#include <mupdf/fitz.h>

#include <cstdint>
#include <string>

#include "engine/runtime/engine_options.h"

namespace engine {

// plainPdf holds a complete PDF without encryption and without object streams; id is the
// file identifier, which the keys depend on. Writes the encrypted file at path; false with
// error set on failure (a partial file may remain).
bool WriteEncryptedPdf(fz_context* ctx, fz_buffer* plainPdf, const std::string& path,
                       const SecurityRequest& request, const uint8_t id[16], std::string& error);

}  // namespace engine
