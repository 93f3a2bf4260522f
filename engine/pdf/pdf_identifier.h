#pragma once
// The file identifier (/ID): a digest of the file's content and of the options that made it,
// so that the same document converted with the same options gives the same bytes.

#include <mupdf/pdf.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace engine {

// Puts a fixed identifier in doc's trailer, to be replaced once the file's bytes are known.
// Throws library errors.
void SetPlaceholderId(fz_context* ctx, pdf_document* doc);

// The library renews the second entry of the identifier while it writes, from the clock. This
// puts the placeholder back in the trailer of pdf, the serialised document; false when the
// trailer has no placeholder.
bool RestorePlaceholderId(unsigned char* pdf, size_t length);

// The identifier of a file whose bytes (with the placeholder restored) are pdf, made with the
// arguments identity: SHA-256 over both, cut to 16 bytes.
void ComputeDocumentId(const unsigned char* pdf, size_t length,
                       const std::vector<std::string>& identity, uint8_t id[16]);

// Writes id as both entries of the identifier over the placeholder in the trailer of pdf;
// false when there is none.
bool ReplacePlaceholderId(unsigned char* pdf, size_t length, const uint8_t id[16]);

}  // namespace engine
