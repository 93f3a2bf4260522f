#pragma once
// Writes a finished, unencrypted PDF again with every string and stream encrypted by the
// standard security handler, revision 3.

#include <mupdf/fitz.h>

#include <string>

#include "engine/engine_options.h"

namespace engine {

// plainPdf holds a complete PDF without encryption and without object streams. Writes the
// encrypted file at path; false with error set on failure (a partial file may remain).
bool WriteEncryptedPdf(fz_context* ctx, fz_buffer* plainPdf, const std::string& path,
                       const SecurityRequest& request, std::string& error);

}  // namespace engine
