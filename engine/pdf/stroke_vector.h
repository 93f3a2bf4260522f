#pragma once
// A point or direction on a stroke's path, as the walks that place its caps and its dashes
// take them.

namespace engine {

struct StrokeVector {
    float x = 0;
    float y = 0;
};

inline bool IsZero(StrokeVector v) { return v.x == 0 && v.y == 0; }

inline StrokeVector Minus(float x1, float y1, float x0, float y0) { return {x1 - x0, y1 - y0}; }

}  // namespace engine
