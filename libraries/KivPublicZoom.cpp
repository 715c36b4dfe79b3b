// The public library's stretch of 32-bit pixels: separable, each axis weighted on its own, colours
// averaged in alpha-weighted (premultiplied) form so that transparent pixels lend no colour.

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "libraries/KivPublic.h"

namespace {

// The source pixels one target pixel takes along one axis: `count` of them from `first`, their weights
// (summing to 1) at `weightsAt` in the axis's weight list.
struct Tap {
    int first;
    int count;
    size_t weightsAt;
};

struct AxisTaps {
    std::vector<Tap> taps;
    std::vector<float> weights;
};

// Where the axis shrinks, target pixel i covers source [i * scale, (i + 1) * scale) and each source pixel
// counts by how much of it lies inside. Elsewhere the target pixel's centre is mapped onto the source and
// the two source pixels around it are interpolated (held at the edges); an unchanged length maps every
// centre onto a source centre, so it copies.
AxisTaps TapsFor(int in, int out) {
    AxisTaps axis;
    axis.taps.reserve(static_cast<size_t>(out));
    const double scale = static_cast<double>(in) / out;
    for (int i = 0; i < out; ++i) {
        Tap tap{0, 0, axis.weights.size()};
        if (out < in) {
            const double start = i * scale, end = (i + 1) * scale;
            const int last = std::min(in, static_cast<int>(std::ceil(end)));
            tap.first = static_cast<int>(start);
            double total = 0;
            for (int x = tap.first; x < last; ++x) {
                const double covered = std::min(end, x + 1.0) - std::max(start, static_cast<double>(x));
                axis.weights.push_back(static_cast<float>(covered));
                total += covered;
                ++tap.count;
            }
            for (size_t k = tap.weightsAt; k < axis.weights.size(); ++k)
                axis.weights[k] = static_cast<float>(axis.weights[k] / total);
        } else {
            const double centre = std::clamp((i + 0.5) * scale - 0.5, 0.0, in - 1.0);
            tap.first = static_cast<int>(centre);
            const double fraction = centre - tap.first;
            axis.weights.push_back(static_cast<float>(1.0 - fraction));
            tap.count = 1;
            if (fraction > 0 && tap.first + 1 < in) {
                axis.weights.push_back(static_cast<float>(fraction));
                tap.count = 2;
            }
        }
        axis.taps.push_back(tap);
    }
    return axis;
}

// One pixel in alpha-weighted form: blue, green and red times alpha, and alpha.
struct Weighted {
    float blue = 0, green = 0, red = 0, alpha = 0;

    void Add(const Weighted& p, float weight) {
        blue += p.blue * weight, green += p.green * weight, red += p.red * weight, alpha += p.alpha * weight;
    }
    void Add(tagCOLOR32 p, float weight) {
        const float a = p.alpha * weight;
        blue += p.blue * a, green += p.green * a, red += p.red * a, alpha += a;
    }
    // Back to a straight-alpha pixel, rounded; no alpha at all gives transparent black.
    tagCOLOR32 Pixel() const {
        if (alpha <= 0) return tagCOLOR32{0, 0, 0, 0};
        const auto byte = [](float v) { return static_cast<BYTE>(std::min(255.0f, v + 0.5f)); };
        return tagCOLOR32{byte(blue / alpha), byte(green / alpha), byte(red / alpha), byte(alpha)};
    }
};

bool FitsBlock(CSize size) {
    return size.cx > 0 && size.cy > 0 &&
           static_cast<ULONGLONG>(size.cx) * static_cast<ULONGLONG>(size.cy) * 4u <= 0xFFFFFFFFull;
}

}  // namespace

BOOL KivPublicMemZoom(const tagCOLOR32* src, CSize srcSize, tagCOLOR32* dst, CSize dstSize) {
    if (!src || !dst || !FitsBlock(srcSize) || !FitsBlock(dstSize)) return FALSE;
    try {
        const AxisTaps columns = TapsFor(srcSize.cx, dstSize.cx);
        const AxisTaps rows = TapsFor(srcSize.cy, dstSize.cy);
        // One target row at a time: its source rows combined into one row of source width, which is then
        // narrowed or widened. Memory stays one source row, whatever the two sizes.
        std::vector<Weighted> combined(static_cast<size_t>(srcSize.cx));
        const auto width = static_cast<size_t>(srcSize.cx);
        for (int j = 0; j < dstSize.cy; ++j) {
            const Tap& rowTap = rows.taps[static_cast<size_t>(j)];
            std::fill(combined.begin(), combined.end(), Weighted{});
            for (int k = 0; k < rowTap.count; ++k) {
                const tagCOLOR32* in = src + static_cast<size_t>(rowTap.first + k) * width;
                const float weight = rows.weights[rowTap.weightsAt + static_cast<size_t>(k)];
                for (size_t x = 0; x < width; ++x) combined[x].Add(in[x], weight);
            }
            tagCOLOR32* out = dst + static_cast<size_t>(j) * static_cast<size_t>(dstSize.cx);
            for (const Tap& columnTap : columns.taps) {
                Weighted sum;
                for (int k = 0; k < columnTap.count; ++k)
                    sum.Add(combined[static_cast<size_t>(columnTap.first + k)],
                            columns.weights[columnTap.weightsAt + static_cast<size_t>(k)]);
                *out++ = sum.Pixel();
            }
        }
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    return TRUE;
}
