#include "engine/xps/page_layout.h"

#include <cctype>
#include <cstdlib>

#include "engine/xps/element_bounds.h"

namespace engine {
namespace {

// Reads up to count numbers separated by commas or blanks; returns how many were read.
int ReadNumbers(const char* text, double* values, int count) {
    int read = 0;
    const char* at = text;
    while (at && *at && read < count) {
        while (*at == ',' || std::isspace(static_cast<unsigned char>(*at))) ++at;
        if (!*at) break;
        char* end = nullptr;
        double value = std::strtod(at, &end);
        if (end == at) break;
        values[read++] = value;
        at = end;
    }
    return read;
}

// Where a named element starts: the top left of what it draws, from the page's left edge
// for right-to-left text (whose start is not known without the font).
fz_point Anchor(fz_xml* element, const std::string& kind, fz_matrix parentTransform) {
    const fz_rect area = ElementBounds(element, parentTransform);
    fz_point at = fz_is_empty_rect(area)
                      ? fz_transform_point(fz_make_point(0, 0),
                                           fz_concat(ElementTransform(element), parentTransform))
                      : fz_make_point(area.x0, area.y0);
    const char* bidi = kind == "Glyphs" ? fz_xml_att(element, "BidiLevel") : nullptr;
    if (bidi && std::atoi(bidi) % 2 == 1) at.x = 0;
    return at;
}

// Gathers named elements and linked canvases below fixedPage, in document order, with a stack
// of its own so that nesting costs no call depth.
void CollectNames(fz_xml* fixedPage, PageLayout& layout) {
    struct Level {
        fz_xml* next;  // the next element of this level
        fz_matrix transform;  // the level's parent's, to the page
    };
    std::vector<Level> levels{{fz_xml_down(fixedPage), fz_identity}};
    while (!levels.empty()) {
        Level& level = levels.back();
        fz_xml* element = level.next;
        if (!element) {
            levels.pop_back();
            continue;
        }
        level.next = fz_xml_next(element);
        const fz_matrix parentTransform = level.transform;
        if (!fz_xml_tag(element)) continue;
        const std::string kind = LocalName(element);
        if (kind != "Canvas" && kind != "Path" && kind != "Glyphs") continue;
        if (const char* name = fz_xml_att(element, "Name")) {
            const fz_point at = Anchor(element, kind, parentTransform);
            layout.names.emplace(name, fz_make_point(at.x * static_cast<float>(kPointsPerXpsUnit),
                                                     at.y * static_cast<float>(kPointsPerXpsUnit)));
        }
        if (kind != "Canvas") continue;
        if (const char* uri = fz_xml_att(element, "FixedPage.NavigateUri")) {
            const fz_rect area = ElementBounds(element, parentTransform);
            if (!fz_is_empty_rect(area)) {
                const fz_matrix toPoints = fz_scale(static_cast<float>(kPointsPerXpsUnit),
                                                    static_cast<float>(kPointsPerXpsUnit));
                layout.canvasLinks.push_back({fz_transform_rect(area, toPoints), uri});
            }
        }
        if (static_cast<int>(levels.size()) >= kMaxMarkupDepth) {
            layout.deeperThanWalked = layout.deeperThanWalked || fz_xml_down(element);
            continue;
        }
        levels.push_back(
            {fz_xml_down(element), fz_concat(ElementTransform(element), parentTransform)});
    }
}

}  // namespace

std::optional<XpsBox> ParseXpsBox(const char* text) {
    double v[4];
    if (!text || ReadNumbers(text, v, 4) != 4 || v[2] < 0 || v[3] < 0) return std::nullopt;
    return XpsBox{v[0], v[1], v[2], v[3]};
}

std::optional<PageLayout> ReadPageLayout(fz_xml* fixedPage) {
    if (!fixedPage || LocalName(fixedPage) != "FixedPage") return std::nullopt;
    PageLayout layout;
    double size[1];
    const char* width = fz_xml_att(fixedPage, "Width");
    const char* height = fz_xml_att(fixedPage, "Height");
    if (!width || ReadNumbers(width, size, 1) != 1 || size[0] <= 0) return std::nullopt;
    layout.width = size[0];
    if (!height || ReadNumbers(height, size, 1) != 1 || size[0] <= 0) return std::nullopt;
    layout.height = size[0];
    layout.bleedBox = ParseXpsBox(fz_xml_att(fixedPage, "BleedBox"));
    layout.contentBox = ParseXpsBox(fz_xml_att(fixedPage, "ContentBox"));
    CollectNames(fixedPage, layout);
    return layout;
}

DocumentLayout DocumentLayout::Read(const XpsPackage& package, int pageCount) {
    DocumentLayout document;
    if (!package.IsOpen()) return document;
    std::vector<std::string> parts = package.PageParts();
    if (static_cast<int>(parts.size()) != pageCount) return document;
    for (const std::string& part : parts) {
        XmlPart page = package.ReadXml(part);
        document.pages_.push_back(ReadPageLayout(page.Root()));
    }
    return document;
}

const PageLayout* DocumentLayout::Page(int index) const {
    if (index < 0 || index >= static_cast<int>(pages_.size()) || !pages_[index]) return nullptr;
    return &*pages_[index];
}

bool DocumentLayout::FindName(const std::string& name, int& page, fz_point& where) const {
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (!pages_[i]) continue;
        auto found = pages_[i]->names.find(name);
        if (found == pages_[i]->names.end()) continue;
        page = static_cast<int>(i);
        where = found->second;
        return true;
    }
    return false;
}

}  // namespace engine
