#pragma once
// Octree colour quantizer: builds a palette of at most a given number of colours from an image,
// reducing the tree while it is filled so that memory stays bounded.

#include <cstdint>
#include <vector>

#include "image/ximage.h"

class OctreeQuantizer {
public:
    OctreeQuantizer(uint32_t maxColors, uint32_t colorBits);
    ~OctreeQuantizer();
    OctreeQuantizer(const OctreeQuantizer&) = delete;
    OctreeQuantizer& operator=(const OctreeQuantizer&) = delete;

    // Adds every pixel of a DIB block (header, palette, rows). False for a bit count other than
    // 1, 4, 8 or 24.
    bool ProcessImage(const void* dib);
    // Writes at most capacity palette entries; returns how many were produced.
    uint32_t SetColorTable(RgbQuad* palette, uint32_t capacity) const;
    uint32_t GetLeafCount() const { return leafCount_; }

private:
    struct Node;
    void AddColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);
    bool ReduceTree();  // false when nothing is left to reduce
    void FreeNode(Node* node);
    void GatherLeaves(const Node* node, std::vector<const Node*>& leaves) const;

    uint32_t maxColors_;
    uint32_t reduceThreshold_;
    uint32_t colorBits_;
    uint32_t leafCount_ = 0;
    Node* root_ = nullptr;
    Node* reducible_[9] = {};
    // The leaf that the previous colour ended in, valid until the next reduction: runs of one
    // colour skip the walk down the tree.
    Node* lastLeaf_ = nullptr;
    uint32_t lastColor_ = 0;
};
