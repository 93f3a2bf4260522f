#include "engine/xps/xps_package.h"

#include <cstring>

#include "engine/runtime/mupdf_guard.h"
#include "platform/platform.h"

namespace engine {
namespace {

constexpr const char* kFixedRepresentation =
    "http://schemas.microsoft.com/xps/2005/06/fixedrepresentation";
constexpr const char* kOpenXpsFixedRepresentation =
    "http://schemas.openxps.org/oxps/v1.0/fixedrepresentation";

// Folder part of an absolute part name, with its trailing slash.
std::string FolderOf(const std::string& part) {
    size_t slash = part.rfind('/');
    return slash == std::string::npos ? "/" : part.substr(0, slash + 1);
}

// "/a/b/../c/./d" gives "/a/c/d".
std::string Normalise(const std::string& path) {
    std::vector<std::string> pieces;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string piece = path.substr(start, end - start);
        if (piece == "..") {
            if (!pieces.empty()) pieces.pop_back();
        } else if (!piece.empty() && piece != ".") {
            pieces.push_back(piece);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& piece : pieces) out += "/" + piece;
    return out.empty() ? "/" : out;
}

// The relationships part that belongs to partName.
std::string RelationshipsPartOf(const std::string& partName) {
    if (partName == "/" || partName.empty()) return "/_rels/.rels";
    size_t slash = partName.rfind('/');
    return partName.substr(0, slash + 1) + "_rels/" + partName.substr(slash + 1) + ".rels";
}

std::string Attribute(fz_xml* element, const char* name) {
    const char* value = fz_xml_att(element, name);
    return value ? value : "";
}

// Child elements of parent whose local name is name.
template <typename Visit>
void ForEachChild(fz_xml* parent, const char* name, Visit visit) {
    for (fz_xml* child = parent ? fz_xml_down(parent) : nullptr; child;
         child = fz_xml_next(child)) {
        if (fz_xml_tag(child) && LocalName(child) == name) visit(child);
    }
}

}  // namespace

XmlPart& XmlPart::operator=(XmlPart&& other) noexcept {
    if (this != &other) {
        if (xml_) fz_drop_xml(ctx_, xml_);
        ctx_ = other.ctx_;
        xml_ = other.xml_;
        other.xml_ = nullptr;
    }
    return *this;
}

XmlPart::~XmlPart() {
    if (xml_) fz_drop_xml(ctx_, xml_);
}

fz_xml* XmlPart::Root() const { return xml_ ? fz_xml_root(xml_) : nullptr; }

XpsPackage::XpsPackage(fz_context* ctx, const std::string& path) : ctx_(ctx) {
    const std::string libraryPath = platform::PathForUtf8Library(path);
    const char* name = libraryPath.c_str();
    fz_archive* archive = nullptr;
    if (!RunGuarded(ctx_, [&] { archive = fz_open_archive(ctx_, name); }).empty()) {
        archive = nullptr;
    }
    archive_ = archive;
}

XpsPackage::~XpsPackage() {
    if (archive_) fz_drop_archive(ctx_, archive_);
}

bool XpsPackage::HasEntry(const std::string& entry) const {
    const char* name = entry.c_str();
    int found = 0;
    if (!RunGuarded(ctx_, [&] { found = fz_has_archive_entry(ctx_, archive_, name); }).empty())
        found = 0;
    return found != 0;
}

XmlPart XpsPackage::ReadXml(const std::string& partName) const {
    if (!archive_ || partName.size() < 2) return {};
    // Entries are stored without the leading slash.
    std::string entry = partName.substr(1);
    // A part may be stored as interleaved pieces "[0].piece", "[1].piece" ... "[n].last.piece"
    // in a folder of the part's name; read in order they make the part.
    std::vector<std::string> pieces;
    for (int n = 0;; ++n) {
        const std::string stem = entry + "/[" + std::to_string(n) + "]";
        if (HasEntry(stem + ".piece")) {
            pieces.push_back(stem + ".piece");
        } else {
            if (HasEntry(stem + ".last.piece")) pieces.push_back(stem + ".last.piece");
            break;
        }
    }
    if (pieces.empty() || pieces.back().find(".last.piece") == std::string::npos) {
        pieces.assign(1, entry);
    }
    const std::vector<std::string>* names = &pieces;
    fz_buffer* buffer = nullptr;
    fz_buffer* piece = nullptr;
    fz_xml* xml = nullptr;
    if (!RunGuarded(
             ctx_,
             [&] {
                 if (!fz_has_archive_entry(ctx_, archive_, (*names)[0].c_str())) return;
                 buffer = fz_new_buffer(ctx_, 4096);
                 for (size_t i = 0; i < names->size(); ++i) {
                     piece = fz_read_archive_entry(ctx_, archive_, (*names)[i].c_str());
                     fz_append_buffer(ctx_, buffer, piece);
                     fz_drop_buffer(ctx_, piece);
                     piece = nullptr;
                 }
                 xml = fz_parse_xml(ctx_, buffer, 0);
             },
             [&] {
                 fz_drop_buffer(ctx_, piece);
                 fz_drop_buffer(ctx_, buffer);
             })
             .empty()) {
        xml = nullptr;
    }
    return xml ? XmlPart(ctx_, xml) : XmlPart();
}

std::vector<Relationship> XpsPackage::RelationshipsOf(const std::string& partName) const {
    std::vector<Relationship> found;
    XmlPart rels = ReadXml(RelationshipsPartOf(partName));
    const std::string base = partName == "/" ? "/" : partName;
    ForEachChild(rels.Root(), "Relationship", [&](fz_xml* item) {
        std::string target = Attribute(item, "Target");
        if (target.empty() || target.find("://") != std::string::npos) return;
        found.push_back({Attribute(item, "Type"), ResolvePartName(base, target)});
    });
    return found;
}

std::vector<std::string> XpsPackage::DocumentParts() const {
    std::string sequence;
    for (const Relationship& rel : RelationshipsOf("/")) {
        if (rel.type == kFixedRepresentation || rel.type == kOpenXpsFixedRepresentation) {
            sequence = rel.target;
            break;
        }
    }
    if (sequence.empty()) sequence = "/FixedDocumentSequence.fdseq";
    std::vector<std::string> documents;
    XmlPart fdseq = ReadXml(sequence);
    ForEachChild(fdseq.Root(), "DocumentReference", [&](fz_xml* reference) {
        documents.push_back(ResolvePartName(sequence, Attribute(reference, "Source")));
    });
    return documents;
}

std::vector<std::string> XpsPackage::PageParts() const {
    std::vector<std::string> pages;
    for (const std::string& document : DocumentParts()) {
        XmlPart fdoc = ReadXml(document);
        ForEachChild(fdoc.Root(), "PageContent", [&](fz_xml* content) {
            pages.push_back(ResolvePartName(document, Attribute(content, "Source")));
        });
    }
    return pages;
}

std::string ResolvePartName(const std::string& basePart, const std::string& target) {
    if (target.empty()) return basePart;
    if (target[0] == '#') {
        size_t hash = basePart.find('#');
        return basePart.substr(0, hash) + target;
    }
    std::string fragment;
    std::string path = target;
    size_t hash = path.find('#');
    if (hash != std::string::npos) {
        fragment = path.substr(hash);
        path.erase(hash);
    }
    std::string joined = path[0] == '/' ? path : FolderOf(basePart) + path;
    return Normalise(joined) + fragment;
}

std::string LocalName(fz_xml* element) {
    const char* tag = fz_xml_tag(element);
    if (!tag) return "";
    const char* colon = std::strrchr(tag, ':');
    return colon ? colon + 1 : tag;
}

std::string ElementText(fz_xml* element) {
    std::string text;
    for (fz_xml* child = element ? fz_xml_down(element) : nullptr; child;
         child = fz_xml_next(child)) {
        if (const char* piece = fz_xml_text(child)) text += piece;
    }
    return text;
}

}  // namespace engine
