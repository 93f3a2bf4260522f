#include "engine/pdf/pdf_output.h"

#include <mupdf/pdf.h>

#include <cerrno>
#include <cstring>

#include "engine/pdf/faithful_pdf_device.h"
#include "engine/pdf/page_boxes.h"
#include "engine/pdf/pdf_encrypted_writer.h"
#include "engine/pdf/pdf_font_subset.h"
#include "engine/pdf/pdf_identifier.h"
#include "engine/pdf/pdf_links.h"
#include "engine/pdf/pdf_outline.h"
#include "engine/pdf/pdf_stream_compression.h"
#include "engine/pdf/text_encoding.h"
#include "engine/runtime/engine_errors.h"
#include "engine/runtime/library_messages.h"
#include "engine/runtime/mupdf_guard.h"
#include "engine/xps/endless_markup.h"
#include "engine/xps/glyph_text.h"
#include "engine/xps/package_properties.h"
#include "engine/xps/xps_source.h"
#include "platform/platform.h"
#include "platform/replacement_file.h"

namespace engine {
namespace {

pdf_document* NewPdfDocument(fz_context* ctx, std::string& error) {
    pdf_document* pdf = nullptr;
    error = RunGuarded(ctx, [&] { pdf = pdf_create_document(ctx); });
    return pdf;
}

enum class PageOutcome { Complete, Partial, Lost };

// Draws page index of doc into a new page at the end of pdf. bounds is the page size used
// when the page cannot be loaded or its size cannot be held; on return it holds the page's
// size. A page with a refusal (why it must not be drawn) is written blank.
PageOutcome AppendPage(fz_context* ctx, fz_document* doc, FaithfulPdfState& state, int index,
                       const PageLayout* layout, const std::string& refusal, fz_rect& bounds,
                       std::string& error) {
    pdf_document* pdf = state.doc;
    fz_page* page = nullptr;
    fz_device* device = nullptr;
    fz_device* faithful = nullptr;
    pdf_obj* resources = nullptr;
    fz_buffer* contents = nullptr;
    pdf_obj* pageObject = nullptr;
    fz_rect mediaBox = PageMediaBox(layout, bounds);
    bool drawn = true;
    // The first failure is the page's error.
    auto fail = [&](std::string failure) {
        if (failure.empty() || !drawn) return;
        drawn = false;
        error = std::move(failure);
    };

    fz_rect pageBounds = bounds;
    fail(RunGuarded(ctx, [&] {
        page = fz_load_page(ctx, doc, index);
        pageBounds = fz_bound_page(ctx, page);
    }));
    if (drawn) {
        mediaBox = PageMediaBox(layout, pageBounds);
        fail(PageSizeProblem(mediaBox, kPdfPageSides));
    }
    if (!drawn) {
        // Nothing is drawn on a page of the size before it, nor are its boxes kept.
        mediaBox = bounds;
        layout = nullptr;
        fz_drop_page(ctx, page);
        page = nullptr;
    }
    fail(refusal);

    fail(RunGuarded(ctx, [&] {
        device = pdf_page_write(ctx, pdf, mediaBox, &resources, &contents);
        // The same transformation as the one pdf_page_write puts at the start of the page.
        const fz_matrix pageBase = fz_make_matrix(1, 0, 0, -1, -mediaBox.x0, mediaBox.y1);
        faithful =
            NewFaithfulPdfDevice(ctx, state, {device, resources, contents, pageBase, mediaBox, 1});
        if (page && refusal.empty()) fz_run_page(ctx, page, faithful, fz_identity, nullptr);
    }));

    // Content our device still held back is written even when the page was cut short.
    fail(RunGuarded(ctx, [&] {
        if (faithful) fz_close_device(ctx, faithful);
    }));

    // Whatever was drawn is kept, so that page numbers stay as in the document.
    const std::string lost = RunGuarded(
        ctx,
        [&] {
            if (device) fz_close_device(ctx, device);
            if (!resources) resources = pdf_new_dict(ctx, pdf, 0);
            if (!contents) contents = fz_new_buffer(ctx, 0);
            pageObject = pdf_add_page(ctx, pdf, mediaBox, 0, resources, contents);
            StorePageBoxes(ctx, pdf, pageObject, layout, mediaBox);
            pdf_insert_page(ctx, pdf, -1, pageObject);
        },
        [&] {
            pdf_drop_obj(ctx, pageObject);
            fz_drop_buffer(ctx, contents);
            pdf_drop_obj(ctx, resources);
            fz_drop_device(ctx, faithful);
            fz_drop_device(ctx, device);
            fz_drop_page(ctx, page);
        });
    if (!lost.empty()) error = lost;
    bounds = mediaBox;
    return !lost.empty() ? PageOutcome::Lost : drawn ? PageOutcome::Complete : PageOutcome::Partial;
}

bool SetDocumentInfo(fz_context* ctx, pdf_document* pdf, const std::vector<InfoEntry>& entries,
                     std::string& error) {
    if (entries.empty()) return true;
    std::vector<std::string> texts;
    for (const InfoEntry& entry : entries) texts.push_back(ToUtf8(entry.value));
    // Plain views of the texts for the library's try block.
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (size_t i = 0; i < entries.size(); ++i) {
        keys.push_back(entries[i].key.c_str());
        values.push_back(texts[i].c_str());
    }
    const char* const* key = keys.data();
    const char* const* value = values.data();
    const size_t count = entries.size();
    pdf_obj* info = nullptr;
    error = RunGuarded(
        ctx,
        [&] {
            info = pdf_new_dict(ctx, pdf, static_cast<int>(count));
            for (size_t i = 0; i < count; ++i) {
                pdf_dict_put_drop(ctx, info, pdf_new_name(ctx, key[i]),
                                  pdf_new_text_string(ctx, value[i]));
            }
            pdf_dict_put_drop(ctx, pdf_trailer(ctx, pdf), PDF_NAME(Info),
                              pdf_add_object(ctx, pdf, info));
        },
        [&] { pdf_drop_obj(ctx, info); });
    return error.empty();
}

pdf_write_options CompactWriteOptions() {
    pdf_write_options options = pdf_default_write_options;
    options.do_compress = 1;
    options.do_compress_images = 1;
    options.do_compress_fonts = 1;
    // Drop unused objects and renumber; duplicates are not made in the first place (images are
    // shared through a cache, fonts by MuPDF), so the costly search for them is not needed.
    options.do_garbage = 2;
    options.do_encrypt = PDF_ENCRYPT_NONE;
    // The identifier stays the placeholder: a random one may be written as a literal string,
    // which the placeholder search would not find.
    options.dont_regenerate_id = 1;
    return options;
}

bool DeflateStreams(BackgroundStreamDeflater& deflater, std::string& error) {
    error = deflater.Finish();
    return error.empty();
}

// Serialises doc onto out, which the caller drops. False with error set on failure.
bool WriteCompact(fz_context* ctx, pdf_document* doc, fz_output* out, std::string& error) {
    const pdf_write_options options = CompactWriteOptions();
    error = RunGuarded(ctx, [&] {
        pdf_write_document(ctx, doc, out, &options);
        fz_close_output(ctx, out);
    });
    return error.empty();
}

// Serialises doc into a new buffer; nullptr with error set on failure.
fz_buffer* SaveToBuffer(fz_context* ctx, pdf_document* doc, std::string& error) {
    fz_buffer* buffer = nullptr;
    fz_output* out = nullptr;
    error = RunGuarded(ctx, [&] {
        buffer = fz_new_buffer(ctx, 64 << 10);
        out = fz_new_output_with_buffer(ctx, buffer);
    });
    if (!error.empty()) {
        fz_drop_buffer(ctx, buffer);
        return nullptr;
    }
    if (!WriteCompact(ctx, doc, out, error)) {
        fz_drop_buffer(ctx, buffer);
        buffer = nullptr;
    }
    fz_drop_output(ctx, out);
    return buffer;
}

// Writes the finished bytes at path.
bool WriteBufferToFile(fz_context* ctx, fz_buffer* buffer, const std::string& path,
                       std::string& error) {
    const std::string libraryPath = platform::PathForUtf8Library(path);
    const char* outputPath = libraryPath.c_str();
    fz_output* out = nullptr;
    error = RunGuarded(
        ctx,
        [&] {
            out = fz_new_output_with_path(ctx, outputPath, 0);
            fz_write_buffer(ctx, out, buffer);
            fz_close_output(ctx, out);
        },
        [&] { fz_drop_output(ctx, out); });
    return error.empty();
}

bool PlaceholderId(fz_context* ctx, pdf_document* pdf, std::string& error) {
    error = RunGuarded(ctx, [&] { SetPlaceholderId(ctx, pdf); });
    return error.empty();
}

bool SavePdf(fz_context* ctx, pdf_document* pdf, BackgroundStreamDeflater& deflater,
             const EngineOptions& options, const std::string& path, std::string& error) {
    if (!DeflateStreams(deflater, error)) return false;
    // The file is made in memory first: its identifier is a digest of its bytes.
    if (!PlaceholderId(ctx, pdf, error)) return false;
    fz_buffer* compact = SaveToBuffer(ctx, pdf, error);
    if (!compact) return false;
    unsigned char* bytes = nullptr;
    const size_t length = fz_buffer_storage(ctx, compact, &bytes);
    RestorePlaceholderId(bytes, length);
    uint8_t id[16];
    ComputeDocumentId(bytes, length, options.identity, id);
    bool ok = false;
    if (options.security) {
        ok = WriteEncryptedPdf(ctx, compact, path, *options.security, id, error);
    } else {
        ReplacePlaceholderId(bytes, length, id);
        ok = WriteBufferToFile(ctx, compact, path, error);
    }
    fz_drop_buffer(ctx, compact);
    return ok;
}

}  // namespace

bool WritePdf(fz_context* ctx, fz_document* doc, int pageCount, const EngineOptions& options,
              const LibraryMessages& messages) {
    std::string error;
    pdf_document* pdf = NewPdfDocument(ctx, error);
    if (!pdf) {
        ReportError("cannot create the PDF document: " + error);
        return false;
    }
    bool allGood = true;
    bool writable = true;
    XpsPackage package(ctx, options.inputPath);
    const DocumentLayout layout = DocumentLayout::Read(package, pageCount);
    std::vector<std::string> pageParts = package.PageParts();
    if (static_cast<int>(pageParts.size()) != pageCount) pageParts.clear();
    // Deflates each page's streams on another core while the next pages are drawn.
    BackgroundStreamDeflater deflater(ctx, pdf);
    {
        FaithfulPdfState state(ctx, pdf);
        fz_rect bounds = kFallbackPageBounds;
        for (int index = 0; index < pageCount && writable; ++index) {
            std::string pageError;
            PageMessages said;
            PageOutcome outcome;
            std::string refusal;
            if (!pageParts.empty()) {
                XmlPart markup = package.ReadXml(pageParts[index]);
                refusal = EndlessMarkupIn(markup.Root());
                state.text.BeginPage(ReadGlyphRuns(markup.Root()));
            }
            {
                PageMessageScope scope(ctx, said);
                outcome = AppendPage(ctx, doc, state, index, layout.Page(index), refusal, bounds,
                                     pageError);
            }
            messages.ReportPage(index + 1, said);
            // A page short of memory may have lost only what the library skipped, without an
            // error.
            const std::string memoryFailure = MemoryFailureOf(ctx, said);
            if (outcome == PageOutcome::Complete && !memoryFailure.empty()) {
                outcome = PageOutcome::Partial;
            }
            if (outcome != PageOutcome::Complete) {
                ReportPageError(messages.DocumentPath(), index + 1,
                                memoryFailure.empty() ? pageError : memoryFailure);
                allGood = false;
                writable = outcome != PageOutcome::Lost;
            }
            // What the page lost has been said; the page is still incomplete.
            if (said.LostContent()) allGood = false;
            const std::string storeError = writable ? deflater.TakeNewStreams() : std::string();
            if (!storeError.empty()) {
                ReportError("cannot store page " + std::to_string(index + 1) + ": " + storeError);
                allGood = false;
                writable = false;
            }
            ReportPageDone(index + 1);
        }
        if (writable) error = state.fonts.Repair(pdf);
        if (writable && !error.empty()) {
            ReportError("cannot store the font widths: " + error);
            writable = false;
        }
        if (writable) error = state.text.StoreMaps(pdf);
        if (writable && !error.empty()) {
            ReportError("cannot store the text of the fonts: " + error);
            writable = false;
        }
        if (writable) SubsetEmbeddedFonts(ctx, pdf);
    }
    // The library reads a page's links recursively, as deep as its elements nest: such a page
    // keeps only the links the engine's own walk found.
    for (int index = 0; writable && index < pageCount; ++index) {
        if (layout.Page(index) && layout.Page(index)->deeperThanWalked) {
            ReportPageError(messages.DocumentPath(), index + 1,
                            "its elements nest too deep for all of its links to be read");
            allGood = false;
        }
    }
    std::string leftOutLinks;
    if (writable && !AddPageLinks(ctx, doc, pdf, layout, pageCount, error, leftOutLinks)) {
        ReportError("cannot store the links: " + error);
        allGood = false;
    }
    if (!leftOutLinks.empty()) ReportError(messages.DocumentPath() + ": " + leftOutLinks);
    if (writable &&
        !AddOutline(ctx, doc, pdf, layout, pageCount, package, messages.DocumentPath(), error)) {
        ReportError("cannot store the outline: " + error);
        allGood = false;
    }
    const std::vector<InfoEntry> info = WithPackageProperties(options.info, package);
    if (writable && !SetDocumentInfo(ctx, pdf, info, error)) {
        ReportError("cannot store the document information: " + error);
        writable = false;
    }
    if (writable) {
        // The writers open the file again by its name.
        platform::ReplacementFile file;
        bool saved = file.Create(options.outputFile, "wb", ".part") && file.Close();
        if (!saved) error = std::strerror(errno);
        saved = saved && SavePdf(ctx, pdf, deflater, options, file.path(), error);
        if (!saved || !file.Commit()) {
            ReportError("cannot write " + options.outputFile + (saved ? "" : ": " + error));
            writable = false;
        }
    }
    if (!writable) allGood = false;
    deflater.Stop();  // nothing may still read the document's streams once it is dropped
    pdf_drop_document(ctx, pdf);
    return allGood;
}

}  // namespace engine
