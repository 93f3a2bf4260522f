#pragma once
// Reads the parts of the XPS package that the library does not hand out: the page list with
// each page's own markup, relationships and the core properties. Every call catches the
// library's errors; a part that cannot be read is simply absent.

#include <mupdf/fitz.h>

#include <string>
#include <vector>

namespace engine {

// A parsed XML part, owned; empty when the part was missing or not well formed.
class XmlPart {
  public:
    XmlPart() = default;
    XmlPart(fz_context* ctx, fz_xml* xml) : ctx_(ctx), xml_(xml) {}
    XmlPart(XmlPart&& other) noexcept : ctx_(other.ctx_), xml_(other.xml_) { other.xml_ = nullptr; }
    XmlPart& operator=(XmlPart&& other) noexcept;
    XmlPart(const XmlPart&) = delete;
    XmlPart& operator=(const XmlPart&) = delete;
    ~XmlPart();

    // The top element, or nullptr.
    fz_xml* Root() const;

  private:
    fz_context* ctx_ = nullptr;
    fz_xml* xml_ = nullptr;
};

struct Relationship {
    std::string type;
    std::string target;  // an absolute part name, "/..."
};

class XpsPackage {
  public:
    XpsPackage(fz_context* ctx, const std::string& path);
    ~XpsPackage();
    XpsPackage(const XpsPackage&) = delete;
    XpsPackage& operator=(const XpsPackage&) = delete;

    bool IsOpen() const { return archive_ != nullptr; }
    // partName is absolute ("/Documents/1/Pages/1.fpage").
    XmlPart ReadXml(const std::string& partName) const;
    // The relationships of a part, or of the package itself for "/".
    std::vector<Relationship> RelationshipsOf(const std::string& partName) const;
    // The FixedDocument parts of the sequence, in reading order.
    std::vector<std::string> DocumentParts() const;
    // The FixedPage parts of every document of the sequence, in reading order.
    std::vector<std::string> PageParts() const;

  private:
    bool HasEntry(const std::string& entry) const;

    fz_context* ctx_;
    fz_archive* archive_ = nullptr;
};

// A target taken relative to the part it was found in, as an absolute part name; a fragment
// ("#...") is kept.
std::string ResolvePartName(const std::string& basePart, const std::string& target);

// The element name without its namespace prefix ("dc:title" gives "title").
std::string LocalName(fz_xml* element);

// The text inside an element, or "".
std::string ElementText(fz_xml* element);

// Calls visit(element) for every element below root, in document order and however deep: the
// walk keeps its own stack, so that nesting costs no call depth. visit returns false to end
// the walk.
template <typename Visit>
void VisitElementsBelow(fz_xml* root, Visit&& visit) {
    std::vector<fz_xml*> next{root ? fz_xml_down(root) : nullptr};  // per level, its next element
    while (!next.empty()) {
        fz_xml* element = next.back();
        if (!element) {
            next.pop_back();
            continue;
        }
        next.back() = fz_xml_next(element);
        if (!fz_xml_tag(element)) continue;
        if (!visit(element)) return;
        next.push_back(fz_xml_down(element));
    }
}

}  // namespace engine
