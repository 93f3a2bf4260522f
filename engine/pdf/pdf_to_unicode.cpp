#include "engine/pdf/pdf_to_unicode.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

constexpr int kMaxMapped = 8;             // the library gives one code up to this many characters
constexpr size_t kEntriesPerBlock = 100;  // the most a bfchar or bfrange block may hold

void AppendHex4(std::string& out, unsigned value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", value & 0xFFFF);
    out += hex;
}

void AppendUtf16(std::string& out, const std::vector<int>& text) {
    for (int c : text) {
        if (c >= 0x10000) {
            const auto rest = static_cast<unsigned>(c - 0x10000);
            AppendHex4(out, 0xD800u + (rest >> 10));
            AppendHex4(out, 0xDC00u + (rest & 0x3FF));
        } else {
            AppendHex4(out, static_cast<unsigned>(c));
        }
    }
}

// Writes the entries in blocks of at most kEntriesPerBlock, each announcing its count.
void AppendBlocks(std::string& out, const std::vector<std::string>& entries, const char* kind) {
    for (size_t first = 0; first < entries.size(); first += kEntriesPerBlock) {
        const size_t count = std::min(kEntriesPerBlock, entries.size() - first);
        out += std::to_string(count) + " begin" + kind + "\n";
        for (size_t i = first; i < first + count; ++i) out += entries[i];
        out += std::string("end") + kind + "\n";
    }
}

// The map's text. Runs of codes that map to runs of single characters become ranges (within
// one last byte, as ranges must stay), everything else single entries.
std::string MapText(const std::vector<CodeText>& mappings) {
    std::vector<std::string> ranges;
    std::vector<std::string> singles;
    for (size_t i = 0; i < mappings.size();) {
        size_t end = i + 1;
        const bool single = mappings[i].text.size() == 1 && mappings[i].text[0] < 0x10000;
        while (single && end < mappings.size() &&
               mappings[end].code == mappings[end - 1].code + 1 &&
               (mappings[end].code >> 8) == (mappings[i].code >> 8) &&
               mappings[end].text.size() == 1 &&
               mappings[end].text[0] == mappings[end - 1].text[0] + 1 &&
               mappings[end].text[0] < 0x10000) {
            ++end;
        }
        std::string entry = "<";
        AppendHex4(entry, mappings[i].code);
        if (end - i > 1) {
            entry += "> <";
            AppendHex4(entry, mappings[end - 1].code);
            entry += "> <";
            AppendUtf16(entry, mappings[i].text);
            ranges.push_back(entry + ">\n");
        } else {
            entry += "> <";
            AppendUtf16(entry, mappings[i].text);
            singles.push_back(entry + ">\n");
        }
        i = end;
    }
    std::string out =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo <</Registry(Adobe)/Ordering(UCS)/Supplement 0>> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    AppendBlocks(out, singles, "bfchar");
    AppendBlocks(out, ranges, "bfrange");
    out += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return out;
}

}  // namespace

void PruneToUnicode(fz_context* ctx, pdf_document* doc, pdf_obj* font,
                    const std::vector<bool>& used) {
    pdf_obj* map = pdf_dict_get(ctx, font, PDF_NAME(ToUnicode));
    if (!pdf_is_indirect(ctx, map) || !pdf_is_stream(ctx, map)) return;
    pdf_cmap* cmap = nullptr;
    if (!RunGuarded(ctx, [&] { cmap = pdf_load_embedded_cmap(ctx, doc, map); }).empty()) return;
    std::vector<CodeText> mappings;
    for (unsigned code = 0; code < used.size() && code < 0x10000; ++code) {
        if (!used[code]) continue;
        int mapped[kMaxMapped];
        const int n = pdf_lookup_cmap_full(cmap, code, mapped);
        if (n > 0)
            mappings.push_back({code, std::vector<int>(mapped, mapped + std::min(n, kMaxMapped))});
    }
    pdf_drop_cmap(ctx, cmap);
    (void)StoreToUnicode(ctx, doc, font, mappings);
}

std::string StoreToUnicode(fz_context* ctx, pdf_document* doc, pdf_obj* font,
                    const std::vector<CodeText>& mappings) {
    const std::string text = MapText(mappings);
    const char* bytes = text.data();
    const size_t length = text.size();
    fz_buffer* buffer = nullptr;
    pdf_obj* map = nullptr;
    // Caught here: a library error must not jump over this function's own objects.
    return RunGuarded(
        ctx,
        [&] {
            buffer = fz_new_buffer_from_copied_data(
                ctx, reinterpret_cast<const unsigned char*>(bytes), length);
            pdf_obj* old = pdf_dict_get(ctx, font, PDF_NAME(ToUnicode));
            if (pdf_is_indirect(ctx, old) && pdf_is_stream(ctx, old)) {
                pdf_update_stream(ctx, doc, old, buffer, 0);
                pdf_dict_del(ctx, old, PDF_NAME(Filter));
                pdf_dict_del(ctx, old, PDF_NAME(DecodeParms));
            } else {
                // Unfiltered: the streams are deflated together before the file is written.
                map = pdf_add_stream(ctx, doc, buffer, nullptr, 0);
                pdf_dict_put(ctx, font, PDF_NAME(ToUnicode), map);
            }
        },
        [&] {
            pdf_drop_obj(ctx, map);
            fz_drop_buffer(ctx, buffer);
        });
}

}  // namespace engine
