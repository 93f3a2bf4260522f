#include "engine/xps/link_targets.h"

#include <cctype>
#include <cstdlib>

#include "engine/runtime/mupdf_guard.h"

namespace engine {
namespace {

std::string FragmentOf(const std::string& uri) {
    size_t hash = uri.find('#');
    return hash == std::string::npos ? "" : uri.substr(hash + 1);
}

// "PageN" or "N" as a page index from 0; -1 otherwise.
int PageNumberTarget(const std::string& fragment, int pageCount) {
    std::string digits = fragment;
    if (digits.size() > 4 &&
        (digits.compare(0, 4, "Page") == 0 || digits.compare(0, 4, "page") == 0)) {
        digits.erase(0, 4);
    }
    if (digits.empty() || digits.size() > 9) return -1;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    }
    int number = std::atoi(digits.c_str());
    return number >= 1 && number <= pageCount ? number - 1 : -1;
}

// The page the library finds for uri, or -1; x and y as it gives them.
int LibraryTarget(fz_context* ctx, fz_document* doc, const char* uri, float& x, float& y) {
    int page = -1;
    if (!RunGuarded(ctx, [&] {
             fz_location location = fz_resolve_link(ctx, doc, uri, &x, &y);
             page = location.page < 0 ? -1 : fz_page_number_from_location(ctx, doc, location);
         }).empty()) {
        page = -1;
    }
    return page;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

LinkKind ClassifyLink(const std::string& uri) {
    size_t schemeEnd = 0;
    if (!uri.empty() && std::isalpha(static_cast<unsigned char>(uri[0]))) {
        schemeEnd = uri.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+.-");
    }
    if (schemeEnd != 0 && schemeEnd != std::string::npos && uri[schemeEnd] == ':') {
        const std::string scheme = Lower(uri.substr(0, schemeEnd));
        return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "mailto" ? LinkKind::Address
                                                                                              : LinkKind::LeftOut;
    }
    const std::string path = Lower(uri.substr(0, uri.find('#')));
    if (path.empty() || EndsWith(path, ".fdoc") || EndsWith(path, ".fdseq") || EndsWith(path, ".fpage"))
        return LinkKind::InDocument;
    return LinkKind::LeftOut;
}

bool ResolveInternalTarget(fz_context* ctx, fz_document* doc, const DocumentLayout& layout,
                           int pageCount, const std::string& uri, LinkTarget& target) {
    // Another file's "#Page2" is not this document's page 2.
    if (ClassifyLink(uri) != LinkKind::InDocument) return false;
    const std::string fragment = FragmentOf(uri);
    // An element's own Name gives the place on the page as well.
    if (!fragment.empty() && layout.FindName(fragment, target.page, target.at)) return true;

    float x = 0, y = 0;
    int page = LibraryTarget(ctx, doc, uri.c_str(), x, y);
    if (page >= 0 && page < pageCount) {
        target.page = page;
        target.at = {x, y};
        return true;
    }
    page = PageNumberTarget(fragment, pageCount);
    if (page < 0) return false;
    target.page = page;
    target.at = {0, 0};
    return true;
}

fz_rect PdfPageBox(fz_context* ctx, pdf_document* pdf, int index) {
    pdf_obj* page = pdf_lookup_page_obj(ctx, pdf, index);
    return pdf_to_rect(ctx, pdf_dict_get_inheritable(ctx, page, PDF_NAME(MediaBox)));
}

pdf_obj* NewDestination(fz_context* ctx, pdf_document* pdf, const LinkTarget& target) {
    pdf_obj* page = pdf_lookup_page_obj(ctx, pdf, target.page);
    const fz_rect box = PdfPageBox(ctx, pdf, target.page);
    pdf_obj* destination = pdf_new_array(ctx, pdf, 5);
    RunUndoingOnFailure(
        ctx,
        [&] {
            pdf_array_push(ctx, destination, page);
            pdf_array_push(ctx, destination, PDF_NAME(XYZ));
            pdf_array_push_real(ctx, destination, box.x0 + target.at.x);
            pdf_array_push_real(ctx, destination, box.y1 - target.at.y);
            pdf_array_push(ctx, destination, PDF_NULL);
        },
        [&] { pdf_drop_obj(ctx, destination); });
    return destination;
}

}  // namespace engine
