#include "libraries/KivColor.h"

#include <algorithm>

BOOL CKivColor32Array::Process(tagCOLOR32* pixels, CSize size) const {
    if (!pixels || size.cx <= 0 || size.cy <= 0 || stops_.empty()) return FALSE;
    const auto width = static_cast<size_t>(size.cx);
    std::vector<int> columns(stops_.size());
    KivPublicInsLine(0, size.cx - 1, static_cast<int>(stops_.size()), columns.data());

    // The top row, segment by segment; a single stop is a segment of one column, stretched below.
    tagCOLOR32* top = pixels;
    std::fill(top, top + width, stops_.front());
    std::vector<int> blue, green, red, alpha;
    for (size_t k = 0; k + 1 < stops_.size(); ++k) {
        const int from = columns[k], count = columns[k + 1] - from + 1;
        if (count < 2) continue;  // both stops on one column: the later one is drawn by its own segment
        const tagCOLOR32 a = stops_[k], b = stops_[k + 1];
        for (auto* channel : {&blue, &green, &red, &alpha}) channel->resize(static_cast<size_t>(count));
        KivPublicInsLine(a.blue, b.blue, count, blue.data());
        KivPublicInsLine(a.green, b.green, count, green.data());
        KivPublicInsLine(a.red, b.red, count, red.data());
        KivPublicInsLine(a.alpha, b.alpha, count, alpha.data());
        for (size_t i = 0; i < static_cast<size_t>(count); ++i)
            top[static_cast<size_t>(from) + i] = tagCOLOR32{static_cast<BYTE>(blue[i]), static_cast<BYTE>(green[i]),
                                                            static_cast<BYTE>(red[i]), static_cast<BYTE>(alpha[i])};
    }
    if (stops_.size() > 1) top[static_cast<size_t>(columns.back())] = stops_.back();
    for (int y = 1; y < size.cy; ++y) std::copy(top, top + width, pixels + static_cast<size_t>(y) * width);
    return TRUE;
}
