#pragma once
// Opening a possibly encrypted PDF with the passwords the caller knows, and reading back the
// parameters that decide who can open it.

#include <memory>
#include <qpdf/QPDF.hh>
#include <string>

namespace mstar {

struct PdfPasswords {
    std::string user;
    std::string owner;
};

struct OpenedPdf {
    std::unique_ptr<QPDF> pdf;
    std::string password;  // the one that opened it
};

// Tries the user password, then the owner password, then none. Throws when the file cannot be
// read or no password opens it. Damaged files are refused rather than repaired, so that a
// half-written file is not passed off as a complete one.
OpenedPdf OpenProtectedPdf(const std::string& path, const PdfPasswords& passwords);

// What the standard security handler stores: equal signatures mean the same passwords open the
// file with the same permissions.
struct EncryptionSignature {
    bool encrypted = false;
    int revision = 0;
    int version = 0;
    int permissions = 0;
    int keyLengthBits = 0;
    std::string filter;
    std::string ownerKey;
    std::string userKey;
    // Revision 5 and 6 (AES-256): the file key under each password and the sealed permissions.
    std::string ownerEncryptedKey;
    std::string userEncryptedKey;
    std::string sealedPermissions;
    // The crypt filter methods of streams and strings (none, RC4, AES-128, AES-256).
    int streamMethod = 0;
    int stringMethod = 0;
    std::string firstId;

    bool operator==(const EncryptionSignature&) const = default;
};

EncryptionSignature ReadEncryptionSignature(QPDF& pdf);

}  // namespace mstar
