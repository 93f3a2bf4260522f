#include "engine/pdf_encrypted_writer.h"

#include <mupdf/pdf.h>

#include <chrono>
#include <cstring>

#include "engine/pdf_security.h"
#include "engine/xps_source.h"

namespace engine {
namespace {

// Everything below runs inside the library's error-handling block: plain data only.

void EncryptStrings(fz_context* ctx, pdf_obj* obj, const uint8_t* key, size_t keyLength);

// The encrypted replacement of a direct string, or nullptr when value is not one.
pdf_obj* EncryptedString(fz_context* ctx, pdf_obj* value, const uint8_t* key, size_t keyLength) {
    if (pdf_is_indirect(ctx, value) || !pdf_is_string(ctx, value)) return nullptr;
    size_t length = pdf_to_str_len(ctx, value);
    auto* bytes = static_cast<uint8_t*>(fz_malloc(ctx, length ? length : 1));
    std::memcpy(bytes, pdf_to_str_buf(ctx, value), length);
    Rc4InPlace(key, keyLength, bytes, length);
    pdf_obj* encrypted = nullptr;
    fz_try(ctx) { encrypted = pdf_new_string(ctx, reinterpret_cast<const char*>(bytes), length); }
    fz_always(ctx) { fz_free(ctx, bytes); }
    fz_catch(ctx) { fz_rethrow(ctx); }
    return encrypted;
}

void EncryptMember(fz_context* ctx, pdf_obj* value, const uint8_t* key, size_t keyLength) {
    if (!pdf_is_indirect(ctx, value) && (pdf_is_dict(ctx, value) || pdf_is_array(ctx, value))) {
        EncryptStrings(ctx, value, key, keyLength);
    }
}

// Replaces every string held directly in obj (at any depth, not through references).
void EncryptStrings(fz_context* ctx, pdf_obj* obj, const uint8_t* key, size_t keyLength) {
    if (pdf_is_indirect(ctx, obj)) return;
    if (pdf_is_array(ctx, obj)) {
        int n = pdf_array_len(ctx, obj);
        for (int i = 0; i < n; ++i) {
            pdf_obj* value = pdf_array_get(ctx, obj, i);
            if (pdf_obj* encrypted = EncryptedString(ctx, value, key, keyLength)) {
                pdf_array_put_drop(ctx, obj, i, encrypted);
            } else {
                EncryptMember(ctx, value, key, keyLength);
            }
        }
    } else if (pdf_is_dict(ctx, obj)) {
        int n = pdf_dict_len(ctx, obj);
        for (int i = 0; i < n; ++i) {
            pdf_obj* value = pdf_dict_get_val(ctx, obj, i);
            if (pdf_obj* encrypted = EncryptedString(ctx, value, key, keyLength)) {
                pdf_dict_put_drop(ctx, obj, pdf_dict_get_key(ctx, obj, i), encrypted);
            } else {
                EncryptMember(ctx, value, key, keyLength);
            }
        }
    }
}

void WriteHex(fz_context* ctx, fz_output* out, const uint8_t* bytes, size_t length) {
    fz_write_byte(ctx, out, '<');
    for (size_t i = 0; i < length; ++i) fz_write_printf(ctx, out, "%02x", bytes[i]);
    fz_write_byte(ctx, out, '>');
}

// One indirect object, its strings and stream data encrypted with the object's key.
void WriteObject(fz_context* ctx, pdf_document* doc, fz_output* out, int num,
                 const StandardSecurity& security) {
    uint8_t key[16];
    size_t keyLength = ObjectKey(security, num, 0, key);
    pdf_obj* obj = nullptr;
    fz_buffer* data = nullptr;
    fz_var(obj);
    fz_var(data);
    fz_try(ctx) {
        obj = pdf_load_object(ctx, doc, num);
        if (pdf_obj_num_is_stream(ctx, doc, num)) {
            data = pdf_load_raw_stream_number(ctx, doc, num);
            unsigned char* bytes = nullptr;
            size_t length = fz_buffer_storage(ctx, data, &bytes);
            Rc4InPlace(key, keyLength, bytes, length);
            pdf_dict_put_int(ctx, obj, PDF_NAME(Length), static_cast<int64_t>(length));
        }
        EncryptStrings(ctx, obj, key, keyLength);
        fz_write_printf(ctx, out, "%d 0 obj\n", num);
        pdf_print_obj(ctx, out, obj, 1, 1);
        if (data) {
            unsigned char* bytes = nullptr;
            size_t length = fz_buffer_storage(ctx, data, &bytes);
            fz_write_string(ctx, out, "\nstream\n");
            fz_write_data(ctx, out, bytes, length);
            fz_write_string(ctx, out, "\nendstream");
        }
        fz_write_string(ctx, out, "\nendobj\n");
    }
    fz_always(ctx) {
        fz_drop_buffer(ctx, data);
        pdf_drop_obj(ctx, obj);
    }
    fz_catch(ctx) { fz_rethrow(ctx); }
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
                            const StandardSecurity& security) {
    fz_write_printf(ctx, out, "%d 0 obj\n<</Filter/Standard/V 2/R 3/Length %d/P %d/O ", num,
                    static_cast<int>(security.keyLength * 8), security.permissions);
    WriteHex(ctx, out, security.owner, 32);
    fz_write_string(ctx, out, "/U ");
    WriteHex(ctx, out, security.user, 32);
    fz_write_string(ctx, out, ">>\nendobj\n");
}

void WriteAll(fz_context* ctx, pdf_document* doc, fz_output* out, const StandardSecurity& security,
              const uint8_t id[16]) {
    int count = pdf_xref_len(ctx, doc);
    auto* offsets =
        static_cast<int64_t*>(fz_calloc(ctx, static_cast<size_t>(count) + 1, sizeof(int64_t)));
    fz_try(ctx) {
        fz_write_string(ctx, out, "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
        for (int num = 1; num < count; ++num) {
            offsets[num] = fz_tell_output(ctx, out);
            WriteObject(ctx, doc, out, num, security);
        }
        offsets[count] = fz_tell_output(ctx, out);
        WriteEncryptDictionary(ctx, out, count, security);
        WriteTrailer(ctx, doc, out, offsets, count, id);
    }
    fz_always(ctx) { fz_free(ctx, offsets); }
    fz_catch(ctx) { fz_rethrow(ctx); }
}

// A document identifier that differs from file to file.
void MakeDocumentId(const std::string& path, size_t plainLength, uint8_t id[16]) {
    auto now = std::chrono::system_clock::now().time_since_epoch().count();
    fz_md5 md5;
    fz_md5_init(&md5);
    fz_md5_update(&md5, reinterpret_cast<const unsigned char*>(path.data()), path.size());
    fz_md5_update_int64(&md5, static_cast<int64_t>(now));
    fz_md5_update_int64(&md5, static_cast<int64_t>(plainLength));
    fz_md5_final(&md5, id);
}

}  // namespace

bool WriteEncryptedPdf(fz_context* ctx, fz_buffer* plainPdf, const std::string& path,
                       const SecurityRequest& request, std::string& error) {
    uint8_t id[16];
    MakeDocumentId(path, fz_buffer_storage(ctx, plainPdf, nullptr), id);
    const StandardSecurity security = ComputeStandardSecurity(request, id);
    const char* outputPath = path.c_str();
    fz_stream* input = nullptr;
    pdf_document* doc = nullptr;
    fz_output* out = nullptr;
    bool ok = true;
    fz_var(ok);
    fz_var(input);
    fz_var(doc);
    fz_var(out);
    fz_try(ctx) {
        input = fz_open_buffer(ctx, plainPdf);
        doc = pdf_open_document_with_stream(ctx, input);
        out = fz_new_output_with_path(ctx, outputPath, 0);
        WriteAll(ctx, doc, out, security, id);
        fz_close_output(ctx, out);
    }
    fz_always(ctx) {
        fz_drop_output(ctx, out);
        pdf_drop_document(ctx, doc);
        fz_drop_stream(ctx, input);
    }
    fz_catch(ctx) { ok = false; }
    if (!ok) error = CaughtMessage(ctx);
    return ok;
}

}  // namespace engine
