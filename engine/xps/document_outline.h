#pragma once
// The outline of the document structure parts, one per FixedDocument, read in a single pass
// whatever its size: entries in reading order, each with its depth in the tree.

#include <cstddef>
#include <string>
#include <vector>

#include "engine/xps/xps_package.h"

namespace engine {

struct OutlineItem {
    std::string title;
    std::string target;  // OutlineTarget as written
    int depth = 1;       // 1 at the top; an item's children follow it at depth + 1
};

struct DocumentOutline {
    std::vector<OutlineItem> items;
    bool cut = false;  // entries beyond the limit were dropped
};

// Reads the outline of every document of package. Only the first maxEntries entries are kept;
// cut tells whether more followed. Levels nest as the document's reader shows them: an entry
// deeper than the one before it becomes the last child of the latest entry above its level.
DocumentOutline ReadDocumentOutline(const XpsPackage& package, size_t maxEntries);

}  // namespace engine
