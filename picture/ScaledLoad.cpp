// The two loads of a picture into a caller's block: area averaging in double precision, and fixed-point
// bilinear interpolation with positions in 1/256 pixel and weights from the module's product table.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "picture/ModuleState.h"
#include "picture/ScaledLoad.h"
#include "readers/PictureFormats.h"

namespace {

// Corners that fall outside the picture by more than the clamping allows raise these flags; the alpha of
// a flagged sample counts only the corners that are not excluded.
enum ClampFlag : unsigned {
    kLeftOutside = 1,
    kRightOfX0 = 2,
    kAboveOutside = 4,
    kBelowOfY0 = 8,
    kLeftOfX1 = 16,
    kRightOutside = 32,
    kAboveOfY1 = 64,
    kBelowOutside = 128,
};
constexpr unsigned kExcludesP00 = 0x0F;
constexpr unsigned kExcludesP10 = 0x3C;
constexpr unsigned kExcludesP01 = 0xC0;
constexpr unsigned kExcludesP11 = 0xF0;

// Where one target coordinate samples along one axis: the two neighbouring source columns (or rows),
// clamped into the picture, the fraction between them, and the flags the clamping raised. The flags of x
// and of y are apart (1, 2, 16, 32 and 4, 8, 64, 128), so a sample's flags are the two ORed.
struct AxisSample {
    size_t near;  // x0 or y0
    size_t far;   // x1 or y1
    unsigned fraction;
    unsigned flags;
};

// The flags one axis raises, in the order near below 0 by more than one, near at or past the end, far
// below 0, far past the end by more than one.
struct AxisFlags {
    unsigned nearOutside, nearPastEnd, farBelowStart, farOutside;
};
constexpr AxisFlags kXFlags{kLeftOutside, kRightOfX0, kLeftOfX1, kRightOutside};
constexpr AxisFlags kYFlags{kAboveOutside, kBelowOfY0, kAboveOfY1, kBelowOutside};

AxisSample SampleAxis(long long position, long long length, const AxisFlags& raise) {
    const long long whole = position >> 8;  // arithmetic shift: -1 just before the picture
    long long near = whole, far = whole + 1;
    unsigned flags = 0;
    if (near < 0) {
        if (near < -1) flags |= raise.nearOutside;
        near = 0;
    } else if (near >= length) {
        near = length - 1;
        flags |= raise.nearPastEnd;
    }
    if (far < 0) {
        far = 0;
        flags |= raise.farBelowStart;
    } else if (far >= length) {
        if (far > length) flags |= raise.farOutside;
        far = length - 1;
    }
    return {static_cast<size_t>(near), static_cast<size_t>(far), static_cast<unsigned>(position & 255),
            flags};
}

// Two channels of a pixel word in the two 32-bit halves of a 64-bit word: blue and red, or (from the
// word shifted right by 8) green and alpha. Weighted sums of four such words keep the halves apart, since
// four weights of at most 65535 times 255 stay below 2^32, so each half is the channel's own unsigned
// 32-bit sum.
std::uint64_t SpreadChannels(std::uint64_t word) {
    return (word | word << 16) & 0x000000FF000000FFull;
}

class BilinearSampler {
  public:
    BilinearSampler(const DWORD* pixels, long long width, long long height, std::vector<size_t> rowStarts)
        : pixels_(pixels),
          width_(width),
          height_(height),
          rowStarts_(std::move(rowStarts)),
          products_(GetProductTable()) {}

    AxisSample AtX(long long x) const { return SampleAxis(x, width_, kXFlags); }
    AxisSample AtY(long long y) const { return SampleAxis(y, height_, kYFlags); }

    // The sample at column sx of source row pair sy: each colour channel (w00 P00 + w10 P10 + w01 P01 +
    // w11 P11) >> 16 with the weights from the product table, and alpha the same unless a corner lies
    // outside the picture.
    tagCOLOR32 Sample(const AxisSample& sx, const AxisSample& sy) const {
        const unsigned fx = sx.fraction, fy = sy.fraction;
        const std::uint64_t w00 = Product(255 - fx, 255 - fy);
        const std::uint64_t w10 = Product(fx, 255 - fy);
        const std::uint64_t w01 = Product(fy, 255 - fx);
        const std::uint64_t w11 = Product(fx, fy);
        const DWORD* row0 = pixels_ + rowStarts_[sy.near];
        const DWORD* row1 = pixels_ + rowStarts_[sy.far];
        const DWORD p00 = row0[sx.near], p10 = row0[sx.far], p01 = row1[sx.near], p11 = row1[sx.far];
        const auto blend = [&](int shift) {
            const std::uint64_t sum = w00 * SpreadChannels(p00 >> shift) +
                                      w10 * SpreadChannels(p10 >> shift) +
                                      w01 * SpreadChannels(p01 >> shift) + w11 * SpreadChannels(p11 >> shift);
            // Each channel's sum >> 16 kept to its low byte, the two halves folded into 16 bits.
            const std::uint64_t bytes = sum >> 16 & 0x000000FF000000FFull;
            return static_cast<DWORD>(bytes | bytes >> 16);
        };
        const DWORD blueRed = blend(0);
        const DWORD greenAlpha = blend(8);
        tagCOLOR32 out = tagCOLOR32::FromWord(blueRed | greenAlpha << 8);
        const unsigned flags = sx.flags | sy.flags;
        if (flags == 0) return out;
        unsigned weighted = 0, weights = 0;
        const auto count = [&](unsigned excludes, unsigned weight, DWORD pixel) {
            if (flags & excludes) return;
            weighted += weight * (pixel >> 24);
            weights += weight;
        };
        count(kExcludesP00, static_cast<unsigned>(w00), p00);
        count(kExcludesP10, static_cast<unsigned>(w10), p10);
        count(kExcludesP01, static_cast<unsigned>(w01), p01);
        count(kExcludesP11, static_cast<unsigned>(w11), p11);
        out.alpha = weights ? static_cast<BYTE>(weighted / weights) : 0;
        return out;
    }

    // True when the product table holds a x b at a x 256 + b, as KivPictureOpen fills it. Only then do
    // the weights factor into a row weight times a column weight, which DrawRegion makes use of. The table
    // is either all zero (before KivPictureOpen) or all products, so its last entry tells which.
    bool HoldsProducts() const { return Product(255, 255) == 255u * 255u; }
    const BYTE* RowBytes(size_t row) const {
        return reinterpret_cast<const BYTE*>(pixels_ + rowStarts_[row]);
    }

  private:
    unsigned Product(unsigned a, unsigned b) const { return products_[a * kProductTableSide + b]; }

    const DWORD* pixels_;
    long long width_;
    long long height_;
    std::vector<size_t> rowStarts_;  // pixel index of each row: one lookup instead of a multiplication
    const WORD* products_;
};

// A loaded picture with its sampler, steps and start positions for a target of size cx x cy.
struct ZoomSource {
    DecodedPicture picture;
    long long xStep = 0, yStep = 0, xStart = 0, yStart = 0;
};

KivLoadStatus LoadZoomSource(const CString& path, CSize size, ZoomSource& source) {
    source.picture = LoadPicture(path);
    if (!source.picture.ok()) return source.picture.status;
    const CRect& rect = source.picture.rect;
    // Positions are kept in 64 bits: a wide picture's W x 256 would overflow 32-bit arithmetic.
    source.xStep = static_cast<long long>(rect.Width()) * 256 / size.cx + 1;
    source.yStep = static_cast<long long>(rect.Height()) * 256 / size.cy + 1;
    source.xStart = (source.xStep >> 1) - 128;
    source.yStart = (source.yStep >> 1) - 128;
    return KivLoadStatus::ok;
}

BilinearSampler MakeSampler(const ZoomSource& source) {
    const long long width = source.picture.rect.Width();
    const long long height = source.picture.rect.Height();
    std::vector<size_t> rowStarts(static_cast<size_t>(height));
    for (long long j = 0; j < height; ++j) rowStarts[static_cast<size_t>(j)] = static_cast<size_t>(j * width);
    return BilinearSampler(source.picture.pixels.get(), width, height, std::move(rowStarts));
}

// With a product table, each colour sum of a sample factors exactly:
//   w00 P00 + w10 P10 + w01 P01 + w11 P11 = (255 - fx) V0 + fx V1,
// where V0 = (255 - fy) P00 + fy P01 blends the two source rows in the left column and V1 in the right one.
// A target row blends its two source rows once for every source column it reaches (a loop the compiler
// vectorises), and each target pixel then blends two of those values: the same result for far less work.
class RowBlend {
  public:
    // For the source columns first to last.
    RowBlend(size_t first, size_t last) : first_(first), values_((last - first + 1) * 4) {}

    // (255 - fy) x row0 + fy x row1, per channel, for the row pair of sy.
    void Blend(const BilinearSampler& sampler, const AxisSample& sy) {
        const BYTE* row0 = sampler.RowBytes(sy.near) + first_ * 4;
        const BYTE* row1 = sampler.RowBytes(sy.far) + first_ * 4;
        const unsigned upper = 255 - sy.fraction, lower = sy.fraction;
        WORD* out = values_.data();
        for (size_t i = 0; i < values_.size(); ++i)
            out[i] = static_cast<WORD>(upper * row0[i] + lower * row1[i]);
    }

    // (255 - fx) V0 + fx V1 >> 16 per channel, for the columns of sx.
    DWORD Sample(const AxisSample& sx) const {
        constexpr std::uint64_t kLanes = 0x0000FFFF0000FFFFull;  // two of the four 16-bit values
        std::uint64_t left, right;
        std::memcpy(&left, &values_[(sx.near - first_) * 4], sizeof left);
        std::memcpy(&right, &values_[(sx.far - first_) * 4], sizeof right);
        const std::uint64_t wl = 255 - sx.fraction, wr = sx.fraction;
        // Blue and red, then green and alpha, in the two 32-bit halves; no sum reaches 2^24.
        const std::uint64_t blueRed = wl * (left & kLanes) + wr * (right & kLanes);
        const std::uint64_t greenAlpha = wl * (left >> 16 & kLanes) + wr * (right >> 16 & kLanes);
        const std::uint64_t br = blueRed >> 16 & 0x000000FF000000FFull;
        const std::uint64_t ga = greenAlpha >> 16 & 0x000000FF000000FFull;
        return static_cast<DWORD>(br | br >> 16) | static_cast<DWORD>(ga | ga >> 16) << 8;
    }

  private:
    size_t first_;
    std::vector<WORD> values_;  // blue, green, red, alpha of each column from first_
};

// Samples the region [left, right) x [top, bottom) of the target, starting at the source's start
// position for the region's first pixel. Every row samples the same columns, so each column's place is
// worked out once.
void DrawRegion(const ZoomSource& source, const BilinearSampler& sampler, tagCOLOR32* target, CSize size,
                const CRect& region, MIXMODE mode) {
    std::vector<AxisSample> columns(static_cast<size_t>(region.Width()));
    long long x = source.xStart;
    for (AxisSample& column : columns) {
        column = sampler.AtX(x);
        x += source.xStep;
    }
    // Positions only grow along a row, so the columns reached lie between the first near one and the
    // last far one.
    std::optional<RowBlend> blend;
    if (sampler.HoldsProducts()) blend.emplace(columns.front().near, columns.back().far);
    // Mode 0 and 1 mix each sample into the target pixel; any other mode stores it.
    const bool mixes = mode == 0 || mode == 1;
    long long y = source.yStart;
    for (int row = region.top; row < region.bottom; ++row, y += source.yStep) {
        const AxisSample rowSample = sampler.AtY(y);
        if (blend) blend->Blend(sampler, rowSample);
        // A corner outside the picture changes the alpha of a sample: those samples take the long way.
        const auto sample = [&](const AxisSample& column) {
            if (!blend || (column.flags | rowSample.flags) != 0) return sampler.Sample(column, rowSample);
            return tagCOLOR32::FromWord(blend->Sample(column));
        };
        tagCOLOR32* out = target + static_cast<size_t>(row) * static_cast<size_t>(size.cx) + region.left;
        if (mixes) {
            for (size_t c = 0; c < columns.size(); ++c)
                out[c] = KivMixByMode(sample(columns[c]), out[c], mode);
        } else {
            for (size_t c = 0; c < columns.size(); ++c) out[c] = sample(columns[c]);
        }
    }
}

// The row table and the row blend are the only allocations after the load.
template <typename Draw>
KivLoadStatus Guarded(Draw&& draw) {
    try {
        return draw();
    } catch (const std::bad_alloc&) {
        return KivLoadStatus::outOfMemory;
    }
}

// The average of the source over [x, x + xs) x [y, y + ys), each covered pixel weighted by the part of it
// that the rectangle covers; pixels beyond the right and bottom edges count as transparent black.
tagCOLOR32 AreaSample(const CKivMemBlock& source, double x, double xs, double y, double ys) {
    const CSize size = source.GetSize();
    const long long ix = static_cast<long long>(x);
    const long long iy = static_cast<long long>(y);
    if (ix < 0 || ix >= size.cx || iy < 0 || iy >= size.cy) return tagCOLOR32{0, 0, 0, 0};
    const long long kx = static_cast<long long>(x + xs) - ix;
    const long long ky = static_cast<long long>(y + ys) - iy;
    if (kx == 0 && ky == 0) return *source.GetPixelAddress(static_cast<int>(ix), static_cast<int>(iy));

    const auto frac = [](double v) { return v - std::trunc(v); };
    const auto factor = [&](long long offset, long long last, double start, double end) {
        if (last == 0) return 1.0;
        if (offset == 0) return 1.0 - frac(start);
        if (offset == last) return frac(end);
        return 1.0;
    };
    double total = 0;
    double blue = 0, green = 0, red = 0, alpha = 0;
    for (long long b = 0; b <= ky; ++b) {
        const double rowFactor = factor(b, ky, y, y + ys);
        for (long long a = 0; a <= kx; ++a) {
            const double weight = factor(a, kx, x, x + xs) * rowFactor;
            total += weight;
            if (ix + a >= size.cx || iy + b >= size.cy) continue;
            const tagCOLOR32 pixel =
                *source.GetPixelAddress(static_cast<int>(ix + a), static_cast<int>(iy + b));
            blue += weight * pixel.blue;
            green += weight * pixel.green;
            red += weight * pixel.red;
            alpha += weight * pixel.alpha;
        }
    }
    // A rectangle that covers no area (a weight of 0) cannot be averaged; it samples as transparent black.
    if (total <= 0) return tagCOLOR32{0, 0, 0, 0};
    const auto channel = [&](double sum) { return static_cast<BYTE>(std::min(sum / total, 255.0)); };
    return tagCOLOR32{channel(blue), channel(green), channel(red), channel(alpha)};
}

}  // namespace

KivLoadStatus LoadAreaScaled(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode) {
    DecodedPicture picture = LoadPicture(path);
    if (!picture.ok()) return picture.status;
    CKivMemBlock source;
    if (!source.InitBlock(picture.rect.Size(), reinterpret_cast<tagCOLOR32*>(picture.pixels.get()), 0))
        return KivLoadStatus::outOfMemory;

    const double xs = static_cast<double>(picture.rect.Width()) / size.cx;
    const double ys = static_cast<double>(picture.rect.Height()) / size.cy;
    double y = 0.0;
    for (int j = 0; j < size.cy; ++j, y += ys) {
        tagCOLOR32* row = target + static_cast<SIZE_T>(j) * static_cast<SIZE_T>(size.cx);
        double x = 0.0;
        for (int i = 0; i < size.cx; ++i, x += xs)
            row[i] = KivMixByMode(AreaSample(source, x, xs, y, ys), row[i], mode);
    }
    return KivLoadStatus::ok;
}

KivLoadStatus LoadBilinearScaled(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode) {
    return Guarded([&]() {
        ZoomSource source;
        if (const KivLoadStatus status = LoadZoomSource(path, size, source); status != KivLoadStatus::ok)
            return status;
        DrawRegion(source, MakeSampler(source), target, size, CRect(0, 0, size.cx, size.cy), mode);
        return KivLoadStatus::ok;
    });
}

KivLoadStatus LoadBilinearScaled(const CString& path, CRect clip, CRect placement, CSize size,
                                 tagCOLOR32* target, MIXMODE mode) {
    return Guarded([&]() {
        ZoomSource source;
        if (const KivLoadStatus status = LoadZoomSource(path, size, source); status != KivLoadStatus::ok)
            return status;
        const BilinearSampler sampler = MakeSampler(source);
        CRect inside;
        inside.IntersectRect(clip, CRect(0, 0, size.cx, size.cy));
        if (placement.IsRectEmpty()) placement = source.picture.rect;  // a TGA's stored position places it
        const CRect region(std::max(inside.left, placement.left), std::max(inside.top, placement.top),
                           std::min(inside.right, placement.right),
                           std::min(inside.bottom, placement.bottom));
        if (!region.IsRectEmpty()) DrawRegion(source, sampler, target, size, region, mode);
        return KivLoadStatus::ok;
    });
}
