#include "engine/pdf_to_unicode.h"

#include <algorithm>
#include <cstdio>

namespace engine {
namespace {

constexpr int kMaxMapped = 8;     // the library gives one code up to this many characters
constexpr int kEntriesPerBlock = 100;  // the most a bfchar block may hold

// The library's own formatting knows no upper-case hexadecimal.
void AppendHex4(fz_context* ctx, fz_buffer* out, unsigned value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", value & 0xFFFF);
    fz_append_string(ctx, out, hex);
}

void AppendUtf16(fz_context* ctx, fz_buffer* out, int c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        AppendHex4(ctx, out, 0xD800u + (static_cast<unsigned>(c) >> 10));
        AppendHex4(ctx, out, 0xDC00u + (static_cast<unsigned>(c) & 0x3FF));
    } else {
        AppendHex4(ctx, out, static_cast<unsigned>(c));
    }
}

// The map's text for the codes marked in used; empty of entries when none maps.
fz_buffer* MapText(fz_context* ctx, pdf_cmap* cmap, const std::vector<bool>& used) {
    fz_buffer* entries = fz_new_buffer(ctx, 1024);
    fz_buffer* out = nullptr;
    fz_var(out);
    fz_try(ctx) {
        int count = 0;
        for (size_t code = 0; code < used.size() && code < 0x10000; ++code) {
            if (!used[code]) continue;
            int mapped[kMaxMapped];
            int n = pdf_lookup_cmap_full(cmap, static_cast<unsigned>(code), mapped);
            if (n <= 0) continue;
            if (count % kEntriesPerBlock == 0) {
                if (count) fz_append_string(ctx, entries, "endbfchar\n");
                fz_append_string(ctx, entries, "@@ beginbfchar\n");  // count set below
            }
            fz_append_byte(ctx, entries, '<');
            AppendHex4(ctx, entries, static_cast<unsigned>(code));
            fz_append_string(ctx, entries, "> <");
            for (int i = 0; i < n && i < kMaxMapped; ++i) AppendUtf16(ctx, entries, mapped[i]);
            fz_append_string(ctx, entries, ">\n");
            ++count;
        }
        if (count) fz_append_string(ctx, entries, "endbfchar\n");

        out = fz_new_buffer(ctx, 1024 + fz_buffer_storage(ctx, entries, nullptr));
        fz_append_string(ctx, out,
                         "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                         "/CIDSystemInfo <</Registry(Adobe)/Ordering(UCS)/Supplement 0>> def\n"
                         "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                         "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n");
        // Each block announces its own number of entries: all full but the last.
        unsigned char* text = nullptr;
        const size_t length = fz_buffer_storage(ctx, entries, &text);
        int block = 0;
        for (size_t i = 0; i < length; ++i) {
            if (text[i] == '@' && i + 1 < length && text[i + 1] == '@') {
                const int inBlock = std::min(kEntriesPerBlock, count - block * kEntriesPerBlock);
                fz_append_printf(ctx, out, "%d", inBlock);
                ++block;
                ++i;
            } else {
                fz_append_byte(ctx, out, text[i]);
            }
        }
        fz_append_string(ctx, out, "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
    }
    fz_always(ctx) { fz_drop_buffer(ctx, entries); }
    fz_catch(ctx) {
        fz_drop_buffer(ctx, out);
        fz_rethrow(ctx);
    }
    return out;
}

}  // namespace

void PruneToUnicode(fz_context* ctx, pdf_document* doc, pdf_obj* font, const std::vector<bool>& used) {
    pdf_obj* map = pdf_dict_get(ctx, font, PDF_NAME(ToUnicode));
    if (!pdf_is_indirect(ctx, map) || !pdf_is_stream(ctx, map)) return;
    pdf_cmap* cmap = nullptr;
    fz_try(ctx) { cmap = pdf_load_embedded_cmap(ctx, doc, map); }
    fz_catch(ctx) { return; }
    fz_buffer* text = nullptr;
    fz_var(text);
    fz_try(ctx) {
        text = MapText(ctx, cmap, used);
        pdf_update_stream(ctx, doc, map, text, 0);
        pdf_dict_del(ctx, map, PDF_NAME(Filter));
        pdf_dict_del(ctx, map, PDF_NAME(DecodeParms));
    }
    fz_always(ctx) {
        fz_drop_buffer(ctx, text);
        pdf_drop_cmap(ctx, cmap);
    }
    fz_catch(ctx) { fz_rethrow(ctx); }
}

}  // namespace engine
