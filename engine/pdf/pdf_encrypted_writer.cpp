#include "engine/pdf/pdf_encrypted_writer.h"

#include <mupdf/pdf.h>

#include <cstring>

#include "engine/pdf/pdf_security.h"
#include "engine/pdf/pdf_security_aes.h"
#include "engine/runtime/mupdf_guard.h"
#include "engine/xps/xps_source.h"
#include "platform/platform.h"

namespace engine {
namespace {

// The handler's values for the whole file: exactly one of the two is set.
struct FileSecurity {
    const StandardSecurity* rc4 = nullptr;
    const Aes256Security* aes = nullptr;
};

// Everything below runs inside the library's error-handling block: plain data only.

// The cipher of one object: RC4 under the object's key (revision 3) or AES-256 under the file
// key with a vector of its own for each string and stream (revision 6).
struct ObjectCipher {
    const StandardSecurity* rc4 = nullptr;
    const Aes256Security* aes = nullptr;
    uint8_t key[16] = {};
    size_t keyLength = 0;
    uint32_t num = 0;
    uint32_t next = 0;  // index of the next string or stream in the object
};

ObjectCipher CipherFor(const FileSecurity& security, int num) {
    ObjectCipher cipher;
    cipher.num = static_cast<uint32_t>(num);
    if (security.aes) {
        cipher.aes = security.aes;
    } else {
        cipher.rc4 = security.rc4;
        cipher.keyLength = ObjectKey(*security.rc4, num, 0, cipher.key);
    }
    return cipher;
}

// The encrypted copy of data in a new block of *outLength bytes, which the caller frees.
uint8_t* EncryptBytes(fz_context* ctx, ObjectCipher& cipher, const uint8_t* data, size_t length,
                      size_t* outLength) {
    const size_t size = cipher.aes ? EncryptedAesLength(length) : length;
    auto* out = static_cast<uint8_t*>(fz_malloc(ctx, size ? size : 1));
    if (cipher.aes) {
        EncryptAes(*cipher.aes, cipher.num, cipher.next++, data, length, out);
    } else {
        std::memcpy(out, data, length);
        Rc4InPlace(cipher.key, cipher.keyLength, out, length);
    }
    *outLength = size;
    return out;
}

void EncryptStrings(fz_context* ctx, pdf_obj* obj, ObjectCipher& cipher);

// The encrypted replacement of a direct string, or nullptr when value is not one.
pdf_obj* EncryptedString(fz_context* ctx, pdf_obj* value, ObjectCipher& cipher) {
    if (pdf_is_indirect(ctx, value) || !pdf_is_string(ctx, value)) return nullptr;
    size_t length = 0;
    uint8_t* bytes =
        EncryptBytes(ctx, cipher, reinterpret_cast<const uint8_t*>(pdf_to_str_buf(ctx, value)),
                     pdf_to_str_len(ctx, value), &length);
    pdf_obj* encrypted = nullptr;
    RunWithCleanup(
        ctx, [&] { encrypted = pdf_new_string(ctx, reinterpret_cast<const char*>(bytes), length); },
        [&] { fz_free(ctx, bytes); });
    return encrypted;
}

void EncryptMember(fz_context* ctx, pdf_obj* value, ObjectCipher& cipher) {
    if (!pdf_is_indirect(ctx, value) && (pdf_is_dict(ctx, value) || pdf_is_array(ctx, value))) {
        EncryptStrings(ctx, value, cipher);
    }
}

// Replaces every string held directly in obj (at any depth, not through references).
void EncryptStrings(fz_context* ctx, pdf_obj* obj, ObjectCipher& cipher) {
    if (pdf_is_indirect(ctx, obj)) return;
    if (pdf_is_array(ctx, obj)) {
        int n = pdf_array_len(ctx, obj);
        for (int i = 0; i < n; ++i) {
            pdf_obj* value = pdf_array_get(ctx, obj, i);
            if (pdf_obj* encrypted = EncryptedString(ctx, value, cipher)) {
                pdf_array_put_drop(ctx, obj, i, encrypted);
            } else {
                EncryptMember(ctx, value, cipher);
            }
        }
    } else if (pdf_is_dict(ctx, obj)) {
        int n = pdf_dict_len(ctx, obj);
        for (int i = 0; i < n; ++i) {
            pdf_obj* value = pdf_dict_get_val(ctx, obj, i);
            if (pdf_obj* encrypted = EncryptedString(ctx, value, cipher)) {
                pdf_dict_put_drop(ctx, obj, pdf_dict_get_key(ctx, obj, i), encrypted);
            } else {
                EncryptMember(ctx, value, cipher);
            }
        }
    }
}

void WriteHex(fz_context* ctx, fz_output* out, const uint8_t* bytes, size_t length) {
    fz_write_byte(ctx, out, '<');
    for (size_t i = 0; i < length; ++i) fz_write_printf(ctx, out, "%02x", bytes[i]);
    fz_write_byte(ctx, out, '>');
}

// One indirect object, its strings and stream data encrypted with the object's cipher.
void WriteObject(fz_context* ctx, pdf_document* doc, fz_output* out, int num,
                 const FileSecurity& security) {
    ObjectCipher cipher = CipherFor(security, num);
    pdf_obj* obj = nullptr;
    fz_buffer* data = nullptr;
    uint8_t* encrypted = nullptr;
    size_t encryptedLength = 0;
    RunWithCleanup(
        ctx,
        [&] {
            obj = pdf_load_object(ctx, doc, num);
            if (pdf_obj_num_is_stream(ctx, doc, num)) {
                data = pdf_load_raw_stream_number(ctx, doc, num);
                unsigned char* bytes = nullptr;
                size_t length = fz_buffer_storage(ctx, data, &bytes);
                encrypted = EncryptBytes(ctx, cipher, bytes, length, &encryptedLength);
                pdf_dict_put_int(ctx, obj, PDF_NAME(Length), static_cast<int64_t>(encryptedLength));
            }
            EncryptStrings(ctx, obj, cipher);
            fz_write_printf(ctx, out, "%d 0 obj\n", num);
            pdf_print_obj(ctx, out, obj, 1, 1);
            if (encrypted) {
                fz_write_string(ctx, out, "\nstream\n");
                fz_write_data(ctx, out, encrypted, encryptedLength);
                fz_write_string(ctx, out, "\nendstream");
            }
            fz_write_string(ctx, out, "\nendobj\n");
        },
        [&] {
            fz_free(ctx, encrypted);
            fz_drop_buffer(ctx, data);
            pdf_drop_obj(ctx, obj);
        });
}

// The cross-reference table of objects 1..count (count being the encryption dictionary).
void WriteTrailer(fz_context* ctx, pdf_document* doc, fz_output* out, const int64_t* offsets,
                  int count, const uint8_t id[16]) {
    int encryptNum = count;
    int64_t xref = fz_tell_output(ctx, out);
    fz_write_printf(ctx, out, "xref\n0 %d\n", count + 1);
    fz_write_string(ctx, out, "0000000000 65535 f\r\n");
    for (int num = 1; num <= count; ++num) {
        fz_write_printf(ctx, out, "%010ld 00000 n\r\n", static_cast<long>(offsets[num]));
    }
    pdf_obj* trailer = pdf_trailer(ctx, doc);
    fz_write_printf(ctx, out, "trailer\n<</Size %d/Root ", count + 1);
    pdf_print_obj(ctx, out, pdf_dict_get(ctx, trailer, PDF_NAME(Root)), 1, 1);
    if (pdf_obj* info = pdf_dict_get(ctx, trailer, PDF_NAME(Info))) {
        fz_write_string(ctx, out, "/Info ");
        pdf_print_obj(ctx, out, info, 1, 1);
    }
    fz_write_string(ctx, out, "/ID[");
    WriteHex(ctx, out, id, 16);
    WriteHex(ctx, out, id, 16);
    fz_write_printf(ctx, out, "]/Encrypt %d 0 R>>\nstartxref\n%ld\n%%%%EOF\n", encryptNum,
                    static_cast<long>(xref));
}

void WriteEncryptDictionary(fz_context* ctx, fz_output* out, int num,
                            const FileSecurity& security) {
    if (const Aes256Security* aes = security.aes) {
        fz_write_printf(ctx, out,
                        "%d 0 obj\n<</Filter/Standard/V 5/R 6/Length 256"
                        "/CF<</StdCF<</AuthEvent/DocOpen/CFM/AESV3/Length 32>>>>"
                        "/StmF/StdCF/StrF/StdCF/P %d/O ",
                        num, aes->permissions);
        WriteHex(ctx, out, aes->owner, 48);
        fz_write_string(ctx, out, "/U ");
        WriteHex(ctx, out, aes->user, 48);
        fz_write_string(ctx, out, "/OE ");
        WriteHex(ctx, out, aes->ownerKey, 32);
        fz_write_string(ctx, out, "/UE ");
        WriteHex(ctx, out, aes->userKey, 32);
        fz_write_string(ctx, out, "/Perms ");
        WriteHex(ctx, out, aes->perms, 16);
        fz_write_string(ctx, out, ">>\nendobj\n");
        return;
    }
    const StandardSecurity& rc4 = *security.rc4;
    fz_write_printf(ctx, out, "%d 0 obj\n<</Filter/Standard/V 2/R 3/Length %d/P %d/O ", num,
                    static_cast<int>(rc4.keyLength * 8), rc4.permissions);
    WriteHex(ctx, out, rc4.owner, 32);
    fz_write_string(ctx, out, "/U ");
    WriteHex(ctx, out, rc4.user, 32);
    fz_write_string(ctx, out, ">>\nendobj\n");
}

void WriteAll(fz_context* ctx, pdf_document* doc, fz_output* out, const FileSecurity& security,
              const uint8_t id[16]) {
    int count = pdf_xref_len(ctx, doc);
    auto* offsets =
        static_cast<int64_t*>(fz_calloc(ctx, static_cast<size_t>(count) + 1, sizeof(int64_t)));
    RunWithCleanup(
        ctx,
        [&] {
            // Revision 6 belongs to the 2.0 format.
            fz_write_string(ctx, out, security.aes ? "%PDF-2.0\n" : "%PDF-1.7\n");
            fz_write_string(ctx, out, "%\xE2\xE3\xCF\xD3\n");
            for (int num = 1; num < count; ++num) {
                offsets[num] = fz_tell_output(ctx, out);
                WriteObject(ctx, doc, out, num, security);
            }
            offsets[count] = fz_tell_output(ctx, out);
            WriteEncryptDictionary(ctx, out, count, security);
            WriteTrailer(ctx, doc, out, offsets, count, id);
        },
        [&] { fz_free(ctx, offsets); });
}

}  // namespace

bool WriteEncryptedPdf(fz_context* ctx, fz_buffer* plainPdf, const std::string& path,
                       const SecurityRequest& request, const uint8_t id[16], std::string& error) {
    StandardSecurity rc4{};
    Aes256Security aes{};
    FileSecurity security;
    if (request.UsesAes256()) {
        aes = ComputeAes256Security(request, id);
        security.aes = &aes;
    } else {
        rc4 = ComputeStandardSecurity(request, id);
        security.rc4 = &rc4;
    }
    const std::string libraryPath = platform::PathForUtf8Library(path);
    const char* outputPath = libraryPath.c_str();
    fz_stream* input = nullptr;
    pdf_document* doc = nullptr;
    fz_output* out = nullptr;
    error = RunGuarded(
        ctx,
        [&] {
            input = fz_open_buffer(ctx, plainPdf);
            doc = pdf_open_document_with_stream(ctx, input);
            out = fz_new_output_with_path(ctx, outputPath, 0);
            WriteAll(ctx, doc, out, security, id);
            fz_close_output(ctx, out);
        },
        [&] {
            fz_drop_output(ctx, out);
            pdf_drop_document(ctx, doc);
            fz_drop_stream(ctx, input);
        });
    return error.empty();
}

}  // namespace engine
