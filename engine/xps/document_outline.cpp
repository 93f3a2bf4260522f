#include "engine/xps/document_outline.h"

#include <climits>
#include <cstdlib>
#include <utility>

namespace engine {
namespace {

constexpr const char* kDocumentStructure =
    "http://schemas.microsoft.com/xps/2005/06/documentstructure";
constexpr const char* kOpenXpsDocumentStructure =
    "http://schemas.openxps.org/oxps/v1.0/documentstructure";

// The first child element of parent if its name is name, else nullptr.
fz_xml* FirstChildNamed(fz_xml* parent, const char* name) {
    fz_xml* child = parent ? fz_xml_down(parent) : nullptr;
    return child && LocalName(child) == name ? child : nullptr;
}

// OutlineLevel read as a C integer: leading digits, 0 when there are none, clamped.
int LevelOf(const char* text) {
    if (!text) return 1;
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// One document's entries as a tree of first-child / next-sibling links. Only the last entry
// at each depth of the rightmost branch can receive the next entry, so that branch is kept
// as a path and each entry is placed in constant time, however long the lists are.
class OutlineTree {
  public:
    void Add(OutlineItem item, int level) {
        const int index = static_cast<int>(nodes_.size());
        nodes_.push_back({std::move(item), -1, -1});
        if (path_.empty()) {
            path_.push_back(index);
        } else {
            // The entry at this level on the rightmost branch, or its deepest entry.
            const size_t depth = level >= 1 && static_cast<size_t>(level) < path_.size()
                                     ? static_cast<size_t>(level)
                                     : path_.size();
            Node& above = nodes_[path_[depth - 1]];
            if (level > lastLevel_) {
                // A later child replaces an earlier one, which then no longer shows.
                above.down = index;
                path_.resize(depth);
                path_.push_back(index);
            } else {
                above.next = index;
                path_.resize(depth);
                path_.back() = index;
            }
        }
        lastLevel_ = level;
    }

    // The tree in reading order, depths set, appended to items.
    void Flatten(std::vector<OutlineItem>& items) {
        if (nodes_.empty()) return;
        std::vector<std::pair<int, int>> pending = {{0, 1}};  // node, depth
        while (!pending.empty()) {
            const auto [index, depth] = pending.back();
            pending.pop_back();
            Node& node = nodes_[index];
            node.item.depth = depth;
            items.push_back(std::move(node.item));
            if (node.next >= 0) pending.push_back({node.next, depth});
            if (node.down >= 0) pending.push_back({node.down, depth + 1});
        }
    }

  private:
    struct Node {
        OutlineItem item;
        int down;
        int next;
    };
    std::vector<Node> nodes_;
    std::vector<int> path_;  // node at each depth along the rightmost branch
    int lastLevel_ = 1;
};

// The document structure part of a FixedDocument, or "".
std::string StructurePartOf(const XpsPackage& package, const std::string& document) {
    std::string part;
    for (const Relationship& rel : package.RelationshipsOf(document)) {
        if (rel.type == kDocumentStructure || rel.type == kOpenXpsDocumentStructure) {
            part = rel.target;
        }
    }
    return part;
}

}  // namespace

DocumentOutline ReadDocumentOutline(const XpsPackage& package, size_t maxEntries) {
    DocumentOutline outline;
    size_t kept = 0;
    for (const std::string& document : package.DocumentParts()) {
        const std::string part = StructurePartOf(package, document);
        if (part.empty()) continue;
        XmlPart structure = package.ReadXml(part);
        fz_xml* root = structure.Root();
        if (!root || LocalName(root) != "DocumentStructure") continue;
        fz_xml* list =
            FirstChildNamed(FirstChildNamed(root, "DocumentStructure.Outline"), "DocumentOutline");
        OutlineTree tree;
        for (fz_xml* entry = list ? fz_xml_down(list) : nullptr; entry && !outline.cut;
             entry = fz_xml_next(entry)) {
            if (LocalName(entry) != "OutlineEntry") continue;
            const char* target = fz_xml_att(entry, "OutlineTarget");
            const char* title = fz_xml_att(entry, "Description");
            if (!target || !title) continue;
            if (kept == maxEntries) {
                outline.cut = true;
                break;
            }
            ++kept;
            tree.Add({title, target, 1}, LevelOf(fz_xml_att(entry, "OutlineLevel")));
        }
        tree.Flatten(outline.items);
        if (outline.cut) break;
    }
    return outline;
}

}  // namespace engine
