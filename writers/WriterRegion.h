// The region every writer saves: the caller's rectangle cut to the buffer.
#pragma once

#include "platform/Geometry.h"

// The rectangle cut to (0, 0, cx, cy); (0, 0, 0, 0) when nothing of it lies in the buffer.
inline CRect CutRegionToBuffer(const CRect& rect, CSize size) {
    CRect region;
    region.IntersectRect(rect, CRect(0, 0, size.cx, size.cy));
    return region;
}
