#include "engine/pdf/pdf_glyph_usage.h"

#include <cstring>

#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

constexpr size_t kCodeCount = 65536;

void AppendPart(fz_context* ctx, fz_buffer* content, pdf_obj* stream) {
    fz_buffer* part = pdf_load_stream(ctx, stream);
    RunWithCleanup(
        ctx,
        [&] {
            fz_append_buffer(ctx, content, part);
            fz_append_byte(ctx, content, '\n');
        },
        [&] { fz_drop_buffer(ctx, part); });
}

// Content read with these resources shows no text: they name no fonts. Without resources
// the content may use those of the page, so it is read.
bool WithoutFonts(fz_context* ctx, pdf_obj* resources) {
    return pdf_is_dict(ctx, resources) && !pdf_dict_get(ctx, resources, PDF_NAME(Font));
}

// The content of object num and the resources it is read with, or nothing when the object
// holds no content or no text can be in it. The caller drops both.
void LoadContent(fz_context* ctx, pdf_document* doc, int num, fz_buffer** content,
                 pdf_obj** resources) {
    pdf_obj* obj = pdf_load_object(ctx, doc, num);
    RunWithCleanup(
        ctx,
        [&] {
            if (pdf_name_eq(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Type)), PDF_NAME(Page))) {
                // Leaving the block early still runs the clean-up below.
                if (WithoutFonts(ctx, pdf_dict_get_inheritable(ctx, obj, PDF_NAME(Resources))))
                    return;
                pdf_obj* contents = pdf_dict_get(ctx, obj, PDF_NAME(Contents));
                *content = fz_new_buffer(ctx, 1024);
                if (pdf_is_array(ctx, contents)) {
                    for (int i = 0, n = pdf_array_len(ctx, contents); i < n; ++i) {
                        AppendPart(ctx, *content, pdf_array_get(ctx, contents, i));
                    }
                } else if (pdf_is_stream(ctx, contents)) {
                    fz_drop_buffer(ctx, *content);
                    *content = nullptr;
                    *content = pdf_load_stream(ctx, contents);
                }
                *resources =
                    pdf_keep_obj(ctx, pdf_dict_get_inheritable(ctx, obj, PDF_NAME(Resources)));
            } else if (pdf_obj_num_is_stream(ctx, doc, num) &&
                       (pdf_name_eq(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Subtype)),
                                    PDF_NAME(Form)) ||
                        pdf_dict_get_int(ctx, obj, PDF_NAME(PatternType)) == 1)) {
                if (WithoutFonts(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Resources)))) return;
                *content = pdf_load_stream_number(ctx, doc, num);
                *resources = pdf_keep_obj(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Resources)));
            }
        },
        [&] { pdf_drop_obj(ctx, obj); });
}

// The object number of the font called name in resources, 0 when there is none.
int FontNumber(fz_context* ctx, pdf_obj* resources, const char* name) {
    pdf_obj* font = pdf_dict_gets(ctx, pdf_dict_get(ctx, resources, PDF_NAME(Font)), name);
    return pdf_is_indirect(ctx, font) ? pdf_to_num(ctx, font) : 0;
}

// Reads one content stream. Text outside BT/ET is not shown; q and Q keep the font with the
// rest of the graphics state. A form may use a font set by the content that draws it, but the
// output device sets the font in every text object it writes, so text without a font set in
// the same stream makes the result incomplete rather than being guessed. Each token is read
// in the library's try block and used outside it, where the usage may grow. False when the
// library failed.
bool ScanContent(fz_context* ctx, fz_buffer* content, pdf_obj* resources, GlyphUsage& usage,
                 std::vector<int>& fontStack) {
    fz_stream* stream = nullptr;
    pdf_lexbuf_large lexbuf;
    pdf_lexbuf_init(ctx, &lexbuf.base, PDF_LEXBUF_LARGE);
    bool read = RunGuarded(ctx, [&] { stream = fz_open_buffer(ctx, content); }).empty();
    int font = 0;
    bool inText = false;
    char lastName[256] = "";
    fontStack.clear();
    while (read) {
        pdf_token token = PDF_TOK_EOF;
        read = RunGuarded(ctx, [&] { token = pdf_lex(ctx, stream, &lexbuf.base); }).empty();
        if (!read || token == PDF_TOK_EOF) break;
        if (token == PDF_TOK_ERROR) {
            usage.complete = false;
            break;
        }
        if (token == PDF_TOK_NAME) {
            fz_strlcpy(lastName, lexbuf.base.scratch, sizeof lastName);
        } else if (token == PDF_TOK_STRING && inText) {
            if (font == 0) {
                usage.complete = false;
                break;
            }
            std::vector<bool>& codes = usage.codes[font];
            if (codes.empty()) codes.resize(kCodeCount);
            const auto* bytes = reinterpret_cast<const unsigned char*>(lexbuf.base.scratch);
            for (size_t i = 0; i + 1 < lexbuf.base.len; i += 2) {
                codes[static_cast<size_t>(bytes[i]) << 8 | bytes[i + 1]] = true;
            }
        } else if (token == PDF_TOK_KEYWORD) {
            const char* op = lexbuf.base.scratch;
            if (!std::strcmp(op, "Tf")) {
                read =
                    RunGuarded(ctx, [&] { font = FontNumber(ctx, resources, lastName); }).empty();
                if (read && font == 0) {
                    usage.complete = false;
                    break;
                }
            } else if (!std::strcmp(op, "BT")) {
                inText = true;
            } else if (!std::strcmp(op, "ET")) {
                inText = false;
            } else if (!std::strcmp(op, "q")) {
                fontStack.push_back(font);
            } else if (!std::strcmp(op, "Q")) {
                if (!fontStack.empty()) {
                    font = fontStack.back();
                    fontStack.pop_back();
                }
            } else if (!std::strcmp(op, "BI")) {
                // Inline image data cannot be read as tokens.
                usage.complete = false;
                break;
            }
        }
    }
    fz_drop_stream(ctx, stream);
    pdf_lexbuf_fin(ctx, &lexbuf.base);
    return read;
}

void ScanObject(fz_context* ctx, pdf_document* doc, int num, GlyphUsage& usage,
                std::vector<int>& fontStack) {
    fz_buffer* content = nullptr;
    pdf_obj* resources = nullptr;
    bool read = RunGuarded(ctx, [&] { LoadContent(ctx, doc, num, &content, &resources); }).empty();
    if (read && content) read = ScanContent(ctx, content, resources, usage, fontStack);
    fz_drop_buffer(ctx, content);
    pdf_drop_obj(ctx, resources);
    if (!read) usage.complete = false;
}

int ObjectCount(fz_context* ctx, pdf_document* doc) {
    int count = -1;
    if (!RunGuarded(ctx, [&] { count = pdf_xref_len(ctx, doc); }).empty()) count = -1;
    return count;
}

}  // namespace

GlyphUsage CollectGlyphUsage(fz_context* ctx, pdf_document* doc) {
    GlyphUsage usage;
    std::vector<int> fontStack;
    const int count = ObjectCount(ctx, doc);
    if (count < 0) usage.complete = false;
    for (int num = 1; num < count && usage.complete; ++num)
        ScanObject(ctx, doc, num, usage, fontStack);
    return usage;
}

}  // namespace engine
