// Octree colour quantizer.

#include "image/octree_quantizer.h"

#include <cstring>

struct OctreeQuantizer::Node {
    bool leaf = false;
    uint32_t pixelCount = 0;
    // 64-bit so that a large page of one colour cannot wrap the sums.
    uint64_t redSum = 0;
    uint64_t greenSum = 0;
    uint64_t blueSum = 0;
    uint64_t alphaSum = 0;
    Node* child[8] = {};
    Node* next = nullptr;  // in its level's list of reducible nodes
};

OctreeQuantizer::OctreeQuantizer(uint32_t maxColors, uint32_t colorBits)
    : maxColors_(maxColors),
      reduceThreshold_(maxColors > 16 ? maxColors : 16),
      colorBits_(colorBits > 7 ? 8 : colorBits) {}

OctreeQuantizer::~OctreeQuantizer() { FreeNode(root_); }

void OctreeQuantizer::FreeNode(Node* node) {
    if (node == nullptr) return;
    for (Node* child : node->child) FreeNode(child);
    delete node;
}

bool OctreeQuantizer::ProcessImage(const void* dib) {
    if (dib == nullptr) return false;
    BitmapInfoHeader header;
    std::memcpy(&header, dib, sizeof(header));
    const uint32_t bits = header.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
    const auto* palette = reinterpret_cast<const RgbQuad*>(static_cast<const uint8_t*>(dib) +
                                                           header.biSize);
    const uint8_t* pixels = static_cast<const uint8_t*>(dib) + header.biSize +
                            header.biClrUsed * sizeof(RgbQuad);
    const uint32_t width = static_cast<uint32_t>(header.biWidth);
    const uint32_t height = static_cast<uint32_t>(header.biHeight);
    const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + y * stride;
        for (uint32_t x = 0; x < width; ++x) {
            if (bits == 24) {
                AddColor(row[3 * x + 2], row[3 * x + 1], row[3 * x], 0);
                continue;
            }
            uint32_t index;
            if (bits == 8) {
                index = row[x];
            } else if (bits == 4) {
                index = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
            } else {
                index = (row[x >> 3] >> (7 - (x & 7))) & 1;
            }
            const RgbQuad entry = index < header.biClrUsed ? palette[index] : RgbQuad{0, 0, 0, 0};
            AddColor(entry.rgbRed, entry.rgbGreen, entry.rgbBlue, entry.rgbReserved);
        }
    }
    return true;
}

void OctreeQuantizer::AddColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
    const uint32_t color = (static_cast<uint32_t>(alpha) << 24) | (red << 16) | (green << 8) | blue;
    Node* leaf = nullptr;
    if (lastLeaf_ != nullptr && color == lastColor_) {
        leaf = lastLeaf_;
    } else {
        Node** link = &root_;
        for (uint32_t level = 0;; ++level) {
            if (*link == nullptr) {
                Node* node = new Node;
                if (level == colorBits_) {
                    node->leaf = true;
                    ++leafCount_;
                } else {
                    node->next = reducible_[level];
                    reducible_[level] = node;
                }
                *link = node;
            }
            if ((*link)->leaf) {
                leaf = *link;
                break;
            }
            const uint32_t shift = 7 - level;
            const uint32_t mask = 0x80u >> level;
            const uint32_t index = (((red & mask) >> shift) << 2) | (((green & mask) >> shift) << 1) |
                                   ((blue & mask) >> shift);
            link = &(*link)->child[index];
        }
    }
    ++leaf->pixelCount;
    leaf->redSum += red;
    leaf->greenSum += green;
    leaf->blueSum += blue;
    leaf->alphaSum += alpha;
    lastLeaf_ = leaf;
    lastColor_ = color;
    while (leafCount_ > reduceThreshold_ && ReduceTree()) {
    }
}

bool OctreeQuantizer::ReduceTree() {
    int level = static_cast<int>(colorBits_) - 1;
    while (level > 0 && reducible_[level] == nullptr) --level;
    if (level < 0 || reducible_[level] == nullptr) return false;
    Node* node = reducible_[level];
    reducible_[level] = node->next;
    uint32_t children = 0;
    for (Node*& child : node->child) {
        if (child == nullptr) continue;
        node->pixelCount += child->pixelCount;
        node->redSum += child->redSum;
        node->greenSum += child->greenSum;
        node->blueSum += child->blueSum;
        node->alphaSum += child->alphaSum;
        FreeNode(child);
        child = nullptr;
        ++children;
    }
    node->leaf = true;
    leafCount_ -= children - 1;
    lastLeaf_ = nullptr;
    return true;
}

void OctreeQuantizer::GatherLeaves(const Node* node, std::vector<const Node*>& leaves) const {
    if (node == nullptr) return;
    if (node->leaf) {
        leaves.push_back(node);
        return;
    }
    for (const Node* child : node->child) GatherLeaves(child, leaves);
}

uint32_t OctreeQuantizer::SetColorTable(RgbQuad* palette, uint32_t capacity) const {
    if (palette == nullptr) return 0;
    std::vector<const Node*> leaves;
    GatherLeaves(root_, leaves);
    auto average = [](uint64_t sum, uint64_t count) {
        return static_cast<uint8_t>(count == 0 ? 0 : sum / count);
    };
    uint32_t produced = 0;
    if (maxColors_ >= 16 || leaves.size() <= maxColors_) {
        for (const Node* leaf : leaves) {
            if (produced == capacity) break;
            palette[produced++] =
                RgbQuad{average(leaf->blueSum, leaf->pixelCount), average(leaf->greenSum, leaf->pixelCount),
                        average(leaf->redSum, leaf->pixelCount), average(leaf->alphaSum, leaf->pixelCount)};
        }
        return produced;
    }
    // Fewer entries than leaves: consecutive groups of leaves, each averaged by pixel count.
    const size_t total = leaves.size();
    for (uint32_t group = 0; group < maxColors_ && produced < capacity; ++group) {
        uint64_t count = 0, red = 0, green = 0, blue = 0, alpha = 0;
        for (size_t i = group * total / maxColors_; i < (group + 1) * total / maxColors_; ++i) {
            count += leaves[i]->pixelCount;
            red += leaves[i]->redSum;
            green += leaves[i]->greenSum;
            blue += leaves[i]->blueSum;
            alpha += leaves[i]->alphaSum;
        }
        palette[produced++] = RgbQuad{average(blue, count), average(green, count),
                                      average(red, count), average(alpha, count)};
    }
    return produced;
}
