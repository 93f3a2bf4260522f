#include "engine/pdf_stream_compression.h"

#include <zlib.h>

#include <limits>

namespace engine {
namespace {

// zlib's quick levels (1 to 3) skip the lazy match search; 2 compresses nearly as well as 3.
constexpr int kDeflateLevel = 2;

// data deflated into a new buffer, or nullptr when that would not be smaller.
fz_buffer* Deflated(fz_context* ctx, const unsigned char* data, size_t length) {
    if (length == 0 || length > std::numeric_limits<uLong>::max()) return nullptr;
    uLongf bound = compressBound(static_cast<uLong>(length));
    fz_buffer* out = fz_new_buffer(ctx, bound);
    uLongf written = bound;
    if (compress2(out->data, &written, data, static_cast<uLong>(length), kDeflateLevel) != Z_OK ||
        written >= length) {
        fz_drop_buffer(ctx, out);
        return nullptr;
    }
    out->len = written;
    fz_try(ctx) { fz_trim_buffer(ctx, out); }
    fz_catch(ctx) {}  // the spare room is only wasted memory
    return out;
}

void DeflateStream(fz_context* ctx, pdf_document* doc, int num) {
    pdf_obj* ref = pdf_new_indirect(ctx, doc, num, 0);
    fz_buffer* raw = nullptr;
    fz_buffer* compressed = nullptr;
    fz_var(raw);
    fz_var(compressed);
    fz_try(ctx) {
        if (!pdf_dict_get(ctx, ref, PDF_NAME(Filter))) {
            raw = pdf_load_raw_stream_number(ctx, doc, num);
            unsigned char* data = nullptr;
            size_t length = fz_buffer_storage(ctx, raw, &data);
            compressed = Deflated(ctx, data, length);
            if (compressed) {
                pdf_dict_put(ctx, ref, PDF_NAME(Filter), PDF_NAME(FlateDecode));
                pdf_update_stream(ctx, doc, ref, compressed, 1);
            }
        }
    }
    fz_always(ctx) {
        fz_drop_buffer(ctx, compressed);
        fz_drop_buffer(ctx, raw);
        pdf_drop_obj(ctx, ref);
    }
    fz_catch(ctx) { fz_rethrow(ctx); }
}

}  // namespace

void DeflateUnfilteredStreams(fz_context* ctx, pdf_document* doc) {
    const int count = pdf_xref_len(ctx, doc);
    for (int num = 1; num < count; ++num) {
        if (pdf_obj_num_is_stream(ctx, doc, num)) DeflateStream(ctx, doc, num);
    }
}

}  // namespace engine
