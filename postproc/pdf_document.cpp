#include "postproc/pdf_document.h"

#include <qpdf/QPDFExc.hh>
#include <vector>

#include "platform/platform.h"

namespace mstar {
namespace {

std::unique_ptr<QPDF> OpenWithPassword(const std::string& path, const std::string& password) {
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    pdf->setAttemptRecovery(false);
    // The library reads file names as UTF-8 on every system; the path is in the system's.
    pdf->processFile(platform::PathForUtf8Library(path).c_str(), password.c_str());
    return pdf;
}

std::string StringKey(QPDFObjectHandle dictionary, const std::string& key) {
    QPDFObjectHandle value = dictionary.getKey(key);
    return value.isString() ? value.getStringValue() : std::string();
}

}  // namespace

OpenedPdf OpenProtectedPdf(const std::string& path, const PdfPasswords& passwords) {
    std::vector<std::string> candidates;
    for (const std::string* password : {&passwords.user, &passwords.owner}) {
        if (!password->empty()) candidates.push_back(*password);
    }
    // Without a password the file may still open: unencrypted, or encrypted with an empty user
    // password.
    candidates.emplace_back();

    for (size_t i = 0; i < candidates.size(); ++i) {
        try {
            return {OpenWithPassword(path, candidates[i]), candidates[i]};
        } catch (const QPDFExc& error) {
            if (error.getErrorCode() != qpdf_e_password || i + 1 == candidates.size()) throw;
        }
    }
    throw std::logic_error("no password candidate");  // not reached: the empty one always exists
}

EncryptionSignature ReadEncryptionSignature(QPDF& pdf) {
    EncryptionSignature signature;
    QPDFObjectHandle trailer = pdf.getTrailer();
    QPDFObjectHandle ids = trailer.getKey("/ID");
    if (ids.isArray() && ids.getArrayNItems() > 0 && ids.getArrayItem(0).isString()) {
        signature.firstId = ids.getArrayItem(0).getStringValue();
    }
    int revision = 0;
    int permissions = 0;
    if (!pdf.isEncrypted(revision, permissions)) {
        // The identifier only matters for encrypted files; writers may renew it otherwise.
        signature.firstId.clear();
        return signature;
    }
    signature.encrypted = true;
    signature.revision = revision;
    signature.permissions = permissions;

    QPDFObjectHandle encrypt = trailer.getKey("/Encrypt");
    QPDFObjectHandle filter = encrypt.getKey("/Filter");
    signature.filter = filter.isName() ? filter.getName() : std::string();
    QPDFObjectHandle version = encrypt.getKey("/V");
    signature.version = version.isInteger() ? version.getIntValueAsInt() : 0;
    QPDFObjectHandle length = encrypt.getKey("/Length");
    // Without /Length the standard handler uses 40-bit keys.
    signature.keyLengthBits = length.isInteger() ? length.getIntValueAsInt() : 40;
    signature.ownerKey = StringKey(encrypt, "/O");
    signature.userKey = StringKey(encrypt, "/U");
    signature.ownerEncryptedKey = StringKey(encrypt, "/OE");
    signature.userEncryptedKey = StringKey(encrypt, "/UE");
    signature.sealedPermissions = StringKey(encrypt, "/Perms");
    int v = 0;
    QPDF::encryption_method_e streams = QPDF::e_none;
    QPDF::encryption_method_e strings = QPDF::e_none;
    QPDF::encryption_method_e files = QPDF::e_none;
    pdf.isEncrypted(revision, permissions, v, streams, strings, files);
    signature.streamMethod = static_cast<int>(streams);
    signature.stringMethod = static_cast<int>(strings);
    return signature;
}

}  // namespace mstar
