#include "engine/pdf/pdf_font_subset.h"

#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/pdf/pdf_glyph_usage.h"
#include "engine/pdf/pdf_to_unicode.h"
#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

// A composite font showing glyphs of a program, and the codes it shows them by.
struct CompositeFont {
    int num;
    std::vector<bool> codes;
    bool glyphMap;  // its codes name glyphs through a CIDToGIDMap stream
};

// A font program that can be cut, and the composite fonts that show glyphs from it.
struct FontProgram {
    std::vector<bool> glyphs;  // by glyph number
    std::vector<CompositeFont> compositeFonts;
    bool trueType = false;  // FontFile2; otherwise an OpenType FontFile3
};

// The glyph each code names under the CIDToGIDMap stream map (two bytes per code).
std::vector<int> ReadGlyphMap(fz_context* ctx, pdf_obj* map) {
    std::vector<int> glyphs;
    fz_buffer* bytes = pdf_load_stream(ctx, map);
    unsigned char* data = nullptr;
    const size_t length = fz_buffer_storage(ctx, bytes, &data);
    for (size_t at = 0; at + 1 < length; at += 2) glyphs.push_back(data[at] << 8 | data[at + 1]);
    fz_drop_buffer(ctx, bytes);
    return glyphs;
}

// The object number of the font program of composite font num when it can be cut, else 0.
// glyphMap gets the glyph each code names when the font has a map stream (TrueType only).
int CuttableProgram(fz_context* ctx, pdf_document* doc, int num, bool* trueType,
                    std::vector<int>* glyphMap) {
    int program = 0;
    pdf_obj* font = pdf_load_object(ctx, doc, num);
    RunWithCleanup(
        ctx,
        [&] {
            pdf_obj* descendant =
                pdf_array_get(ctx, pdf_dict_get(ctx, font, PDF_NAME(DescendantFonts)), 0);
            pdf_obj* map = pdf_dict_get(ctx, descendant, PDF_NAME(CIDToGIDMap));
            pdf_obj* descriptor = pdf_dict_get(ctx, descendant, PDF_NAME(FontDescriptor));
            pdf_obj* file2 = pdf_dict_get(ctx, descriptor, PDF_NAME(FontFile2));
            pdf_obj* file3 = pdf_dict_get(ctx, descriptor, PDF_NAME(FontFile3));
            const char* baseName = pdf_dict_get_name(ctx, font, PDF_NAME(BaseFont));
            const bool alreadyCut = std::strlen(baseName) > 7 && baseName[6] == '+';
            if (pdf_name_eq(ctx, pdf_dict_get(ctx, font, PDF_NAME(Subtype)), PDF_NAME(Type0)) &&
                pdf_name_eq(ctx, pdf_dict_get(ctx, font, PDF_NAME(Encoding)),
                            PDF_NAME(Identity_H)) &&
                (!map || pdf_name_eq(ctx, map, PDF_NAME(Identity)) || pdf_is_stream(ctx, map)) &&
                !alreadyCut) {
                if (pdf_is_indirect(ctx, file2)) {
                    program = pdf_to_num(ctx, file2);
                    *trueType = true;
                    if (pdf_is_stream(ctx, map)) *glyphMap = ReadGlyphMap(ctx, map);
                } else if (pdf_is_stream(ctx, map)) {
                    // A glyph map belongs to TrueType programs only.
                } else if (pdf_is_indirect(ctx, file3) &&
                           pdf_name_eq(ctx, pdf_dict_get(ctx, file3, PDF_NAME(Subtype)),
                                       PDF_NAME(OpenType))) {
                    program = pdf_to_num(ctx, file3);
                    *trueType = false;
                }
            }
        },
        [&] { pdf_drop_obj(ctx, font); });
    return program;
}

// The subset of font (its bytes) holding glyphs, glyph numbers kept; nullptr when the
// subsetter refuses the font. The caller destroys the blob.
hb_blob_t* CutFont(const unsigned char* data, size_t length, const std::vector<bool>& glyphs) {
    hb_blob_t* blob =
        hb_blob_create(reinterpret_cast<const char*>(data), static_cast<unsigned>(length),
                       HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    hb_face_t* face = hb_face_create(blob, 0);
    hb_subset_input_t* input = hb_subset_input_create_or_fail();
    hb_blob_t* result = nullptr;
    if (input && hb_face_get_glyph_count(face) > 0) {
        hb_set_t* glyphSet = hb_subset_input_glyph_set(input);
        hb_set_add(glyphSet, 0);  // .notdef
        const unsigned glyphCount = hb_face_get_glyph_count(face);
        for (unsigned gid = 0; gid < glyphs.size() && gid < glyphCount; ++gid) {
            if (glyphs[gid]) hb_set_add(glyphSet, gid);
        }
        // The characters of the glyphs kept stay in the character map, for readers that look.
        hb_font_t* font = hb_font_create(face);
        hb_set_t* unicodes = hb_set_create();
        hb_face_collect_unicodes(face, unicodes);
        hb_set_t* kept = hb_subset_input_unicode_set(input);
        for (hb_codepoint_t u = HB_SET_VALUE_INVALID; hb_set_next(unicodes, &u);) {
            hb_codepoint_t gid = 0;
            if (hb_font_get_nominal_glyph(font, u, &gid) && gid < glyphs.size() && glyphs[gid]) {
                hb_set_add(kept, u);
            }
        }
        hb_set_destroy(unicodes);
        hb_font_destroy(font);
        hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS);
        // Shaping was done when the document was made; a PDF reader does not look at these.
        // Nor at the cached metrics of hinted sizes (hdmx, VDMX, LTSH, PCLT): a rasteriser that
        // hints works them out, and they describe glyphs no longer there.
        hb_set_t* dropped = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
        for (const char* tag : {"GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "kern", "DSIG",
                                "hdmx", "VDMX", "LTSH", "PCLT"}) {
            hb_set_add(dropped, hb_tag_from_string(tag, 4));
        }
        if (hb_face_t* subset = hb_subset_or_fail(face, input)) {
            result = hb_face_reference_blob(subset);
            hb_face_destroy(subset);
        }
    }
    hb_subset_input_destroy(input);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return result;
}

// Six capital letters from the glyphs kept and the font, the same for the same subset.
std::string SubsetTag(const std::vector<bool>& glyphs, int program) {
    fz_md5 md5;
    fz_md5_init(&md5);
    fz_md5_update_int64(&md5, program);
    for (size_t gid = 0; gid < glyphs.size(); ++gid) {
        if (glyphs[gid]) fz_md5_update_int64(&md5, static_cast<int64_t>(gid));
    }
    unsigned char digest[16];
    fz_md5_final(&md5, digest);
    std::string tag;
    for (int i = 0; i < 6; ++i) tag += static_cast<char>('A' + digest[i] % 26);
    return tag + "+";
}

// The width of every glyph kept (-1 for the others), read from both forms of a widths array:
// "c [w1 w2 ...]" and "c1 c2 w".
void ReadWidths(fz_context* ctx, pdf_obj* widths, const std::vector<bool>& glyphs, float* width) {
    const int n = pdf_array_len(ctx, widths);
    for (int i = 0; i + 1 < n;) {
        const int first = pdf_array_get_int(ctx, widths, i);
        pdf_obj* next = pdf_array_get(ctx, widths, i + 1);
        if (pdf_is_array(ctx, next)) {
            for (int k = 0, m = pdf_array_len(ctx, next); k < m; ++k) {
                const size_t cid = static_cast<size_t>(first) + static_cast<size_t>(k);
                if (first >= 0 && cid < glyphs.size() && glyphs[cid])
                    width[cid] = pdf_array_get_real(ctx, next, k);
            }
            i += 2;
        } else {
            const int last = pdf_array_get_int(ctx, widths, i + 1);
            const float w = pdf_array_get_real(ctx, widths, i + 2);
            for (int cid = std::max(first, 0);
                 cid <= last && static_cast<size_t>(cid) < glyphs.size(); ++cid) {
                if (glyphs[cid]) width[cid] = w;
            }
            i += 3;
        }
    }
}

// The widths array of the glyphs given a width, in runs of consecutive numbers.
pdf_obj* WidthsArray(fz_context* ctx, pdf_document* doc, const float* width, size_t count) {
    pdf_obj* pruned = pdf_new_array(ctx, doc, 16);
    RunUndoingOnFailure(
        ctx,
        [&] {
            for (size_t cid = 0; cid < count;) {
                if (width[cid] < 0) {
                    ++cid;
                    continue;
                }
                pdf_array_push_int(ctx, pruned, static_cast<int64_t>(cid));
                pdf_obj* run = pdf_array_push_array(ctx, pruned, 8);
                for (; cid < count && width[cid] >= 0; ++cid)
                    pdf_array_push_real(ctx, run, width[cid]);
            }
        },
        [&] { pdf_drop_obj(ctx, pruned); });
    return pruned;
}

// Rewrites the widths array of descendant to hold only the glyphs kept: the others are never
// shown. Never throws: the array stays as it was when the new one cannot be made.
void PruneWidths(fz_context* ctx, pdf_document* doc, pdf_obj* descendant,
                 const std::vector<bool>& glyphs) {
    std::vector<float> width(glyphs.size(), -1.0f);
    float* widthData = width.data();
    const size_t count = width.size();
    pdf_obj* pruned = nullptr;
    // Caught here: a library error must not jump over this function's own objects.
    (void)RunGuarded(
        ctx,
        [&] {
            pdf_obj* widths = pdf_dict_get(ctx, descendant, PDF_NAME(W));
            if (pdf_is_array(ctx, widths)) {
                ReadWidths(ctx, widths, glyphs, widthData);
                pruned = WidthsArray(ctx, doc, widthData, count);
                pdf_dict_put(ctx, descendant, PDF_NAME(W), pruned);
            }
        },
        [&] { pdf_drop_obj(ctx, pruned); });
}

// Rewrites the glyph map of descendant to name glyphs for the codes used only, up to the last
// one: the others are never shown, and zeros deflate to almost nothing. Never throws: the map
// stays as it was when the new one cannot be stored.
void PruneGlyphMap(fz_context* ctx, pdf_document* doc, pdf_obj* descendant,
                   const std::vector<bool>& codes) {
    fz_buffer* pruned = nullptr;
    (void)RunGuarded(
        ctx,
        [&] {
            pdf_obj* map = pdf_dict_get(ctx, descendant, PDF_NAME(CIDToGIDMap));
            if (!pdf_is_indirect(ctx, map) || !pdf_is_stream(ctx, map)) return;
            const std::vector<int> glyphs = ReadGlyphMap(ctx, map);
            size_t end = std::min(codes.size(), glyphs.size());
            while (end > 0 && !codes[end - 1]) --end;
            pruned = fz_new_buffer(ctx, 2 * end + 2);
            for (size_t code = 0; code < end; ++code) {
                const int glyph = codes[code] ? glyphs[code] : 0;
                fz_append_byte(ctx, pruned, glyph >> 8);
                fz_append_byte(ctx, pruned, glyph & 0xFF);
            }
            pdf_update_stream(ctx, doc, map, pruned, 0);
            pdf_dict_del(ctx, map, PDF_NAME(Filter));
            pdf_dict_del(ctx, map, PDF_NAME(DecodeParms));
        },
        [&] { fz_drop_buffer(ctx, pruned); });
}

void TagName(fz_context* ctx, pdf_obj* dict, pdf_obj* key, const char* tag) {
    const char* name = pdf_dict_get_name(ctx, dict, key);
    // Parts shared by several fonts are tagged once.
    if (!name || !*name || !std::strncmp(name, tag, std::strlen(tag))) return;
    char tagged[256];
    fz_strlcpy(tagged, tag, sizeof tagged);
    fz_strlcat(tagged, name, sizeof tagged);
    pdf_dict_put_name(ctx, dict, key, tagged);
}

// Puts the cut program in place and tags the names of the fonts that use it. Never throws:
// the program is replaced before any name, so at worst a font is left untagged.
void StoreSubset(fz_context* ctx, pdf_document* doc, int program, const FontProgram& info,
                 hb_blob_t* subset, const char* tag) {
    unsigned length = 0;
    const char* data = hb_blob_get_data(subset, &length);
    fz_buffer* buffer = nullptr;
    pdf_obj* ref = nullptr;
    bool stored = RunGuarded(
                      ctx,
                      [&] {
                          buffer = fz_new_buffer_from_copied_data(
                              ctx, reinterpret_cast<const unsigned char*>(data), length);
                          ref = pdf_new_indirect(ctx, doc, program, 0);
                          // Unfiltered: the streams are deflated together before the file is
                          // written.
                          pdf_update_stream(ctx, doc, ref, buffer, 0);
                          pdf_dict_del(ctx, ref, PDF_NAME(Filter));
                          pdf_dict_del(ctx, ref, PDF_NAME(DecodeParms));
                          if (info.trueType) pdf_dict_put_int(ctx, ref, PDF_NAME(Length1), length);
                      },
                      [&] {
                          pdf_drop_obj(ctx, ref);
                          fz_drop_buffer(ctx, buffer);
                      })
                      .empty();
    for (size_t i = 0; stored && i < info.compositeFonts.size(); ++i) {
        const CompositeFont& composite = info.compositeFonts[i];
        const int num = composite.num;
        pdf_obj* font = nullptr;
        pdf_obj* descendant = nullptr;
        stored = RunGuarded(ctx, [&] {
                     font = pdf_load_object(ctx, doc, num);
                     descendant =
                         pdf_array_get(ctx, pdf_dict_get(ctx, font, PDF_NAME(DescendantFonts)), 0);
                     pdf_obj* descriptor = pdf_dict_get(ctx, descendant, PDF_NAME(FontDescriptor));
                     TagName(ctx, font, PDF_NAME(BaseFont), tag);
                     TagName(ctx, descendant, PDF_NAME(BaseFont), tag);
                     TagName(ctx, descriptor, PDF_NAME(FontName), tag);
                 }).empty();
        if (stored) {
            PruneWidths(ctx, doc, descendant, composite.codes);
            PruneToUnicode(ctx, doc, font, composite.codes);
            if (composite.glyphMap) PruneGlyphMap(ctx, doc, descendant, composite.codes);
        }
        pdf_drop_obj(ctx, font);
    }
}

void SubsetProgram(fz_context* ctx, pdf_document* doc, int program, const FontProgram& info) {
    fz_buffer* original = nullptr;
    if (!RunGuarded(ctx, [&] { original = pdf_load_stream_number(ctx, doc, program); }).empty())
        return;
    unsigned char* data = nullptr;
    const size_t length = fz_buffer_storage(ctx, original, &data);
    hb_blob_t* subset = CutFont(data, length, info.glyphs);
    if (subset) {
        StoreSubset(ctx, doc, program, info, subset, SubsetTag(info.glyphs, program).c_str());
        hb_blob_destroy(subset);
    }
    fz_drop_buffer(ctx, original);
}

}  // namespace

void SubsetEmbeddedFonts(fz_context* ctx, pdf_document* doc) {
    const GlyphUsage usage = CollectGlyphUsage(ctx, doc);
    if (!usage.complete) return;
    std::map<int, FontProgram> programs;
    for (const auto& [num, codes] : usage.codes) {
        bool trueType = false;
        int program = 0;
        std::vector<int> glyphMap;
        if (!RunGuarded(ctx, [&] {
                 program = CuttableProgram(ctx, doc, num, &trueType, &glyphMap);
             }).empty())
            program = 0;
        if (program == 0) continue;
        FontProgram& info = programs[program];
        info.trueType = trueType;
        info.compositeFonts.push_back({num, codes, !glyphMap.empty()});
        for (size_t code = 0; code < codes.size(); ++code) {
            if (!codes[code]) continue;
            // Under a glyph map a code past its end names glyph 0.
            const size_t gid = glyphMap.empty() ? code
                               : code < glyphMap.size() ? static_cast<size_t>(glyphMap[code])
                                                        : 0;
            if (info.glyphs.size() <= gid) info.glyphs.resize(std::max(gid + 1, codes.size()));
            info.glyphs[gid] = true;
        }
    }
    for (const auto& [program, info] : programs) SubsetProgram(ctx, doc, program, info);
}

}  // namespace engine
