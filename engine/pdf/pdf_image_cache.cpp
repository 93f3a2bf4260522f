#include "engine/pdf/pdf_image_cache.h"

#include <cstring>

#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

void HashInt(fz_md5* md5, int64_t value) {
    unsigned char bytes[8];
    std::memcpy(bytes, &value, sizeof bytes);
    fz_md5_update(md5, bytes, sizeof bytes);
}

// The page image inverts every four-colour JPEG read from a document's image part, with or
// without the Adobe marker (print software stores CMYK inverted); a PDF reader inverts only by
// a Decode array.
void KeepCmykInversion(fz_context* ctx, fz_image* image, pdf_obj* object) {
    fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx, image);
    if (!compressed || compressed->params.type != FZ_IMAGE_JPEG || !image->invert_cmyk_jpeg ||
        compressed->params.u.jpeg.color_transform == 0 ||
        !fz_colorspace_is_cmyk(ctx, image->colorspace) || pdf_dict_get(ctx, object, PDF_NAME(Decode)))
        return;
    pdf_obj* decode = pdf_dict_put_array(ctx, object, PDF_NAME(Decode), 8);
    for (int i = 0; i < 4; ++i) {
        pdf_array_push_int(ctx, decode, 1);
        pdf_array_push_int(ctx, decode, 0);
    }
}

}  // namespace

PdfImageCache::~PdfImageCache() {
    for (auto& entry : objects_) pdf_drop_obj(ctx_, entry.second);
    for (fz_image* image : keptImages_) fz_drop_image(ctx_, image);
}

// Compressed images are known by their bytes and how they are read; any other image by its
// address.
PdfImageCache::Digest PdfImageCache::DigestOf(fz_image* image) {
    fz_md5 md5;
    fz_md5_init(&md5);
    fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx_, image);
    if (compressed && compressed->buffer) {
        unsigned char* data = nullptr;
        size_t length = fz_buffer_storage(ctx_, compressed->buffer, &data);
        fz_md5_update(&md5, data, length);
        // The decoding parameters are plain numbers; they tell e.g. two faxes apart.
        fz_md5_update(&md5, reinterpret_cast<const unsigned char*>(&compressed->params),
                      sizeof compressed->params);
        for (int64_t value :
             {int64_t(image->w), int64_t(image->h), int64_t(image->n), int64_t(image->bpc),
              int64_t(image->imagemask), int64_t(image->interpolate), int64_t(image->use_decode),
              int64_t(image->use_colorkey), int64_t(image->invert_cmyk_jpeg),
              int64_t(image->orientation)}) {
            HashInt(&md5, value);
        }
        if (image->use_decode) {
            fz_md5_update(&md5, reinterpret_cast<const unsigned char*>(image->decode),
                          sizeof image->decode);
        }
        if (image->use_colorkey) {
            fz_md5_update(&md5, reinterpret_cast<const unsigned char*>(image->colorkey),
                          sizeof image->colorkey);
        }
        HashInt(&md5, reinterpret_cast<intptr_t>(image->colorspace));
        if (image->mask) {
            Digest mask = DigestOf(image->mask);
            fz_md5_update(&md5, mask.data(), mask.size());
        }
    } else {
        HashInt(&md5, reinterpret_cast<intptr_t>(image));
    }
    Digest digest;
    fz_md5_final(&md5, digest.data());
    return digest;
}

pdf_obj* PdfImageCache::ObjectFor(fz_image* image) {
    Digest digest = DigestOf(image);
    auto found = objects_.find(digest);
    if (found != objects_.end()) return found->second;
    pdf_obj* object = pdf_add_image(ctx_, doc_, image);
    RunUndoingOnFailure(
        ctx_, [&] { KeepCmykInversion(ctx_, image, object); }, [&] { pdf_drop_obj(ctx_, object); });
    objects_.emplace(digest, object);
    keptImages_.push_back(fz_keep_image(ctx_, image));
    return object;
}

}  // namespace engine
