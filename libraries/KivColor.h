// The colour library: colour bars computed from a few colours.
#pragma once

#include <initializer_list>
#include <vector>

#include "libraries/KivPublic.h"

// A colour bar given by its colour stops, left to right. Process spreads the stops evenly across a block's
// width (the first on the left column, the last on the right one), runs every channel, alpha included,
// in a straight line from one stop to the next, and gives every row the same colours: a horizontal
// gradient, or one colour for a single stop. Where the block is narrower than the stops, stops share a
// column and the later one wins.
class KIV_RUNTIME_API CKivColor32Array {
  public:
    CKivColor32Array() = default;
    CKivColor32Array(std::initializer_list<tagCOLOR32> stops) : stops_(stops) {}

    void Add(tagCOLOR32 stop) { stops_.push_back(stop); }
    void RemoveAll() { stops_.clear(); }
    int GetSize() const { return static_cast<int>(stops_.size()); }
    tagCOLOR32 GetAt(int index) const { return stops_.at(static_cast<size_t>(index)); }

    // Fills size.cx x size.cy pixels (rows top to bottom, stride cx) with the bar. Nonzero on success; zero,
    // with the pixels untouched, for null pixels, a size that is not positive, or no stops.
    BOOL Process(tagCOLOR32* pixels, CSize size) const;

  private:
    std::vector<tagCOLOR32> stops_;
};
