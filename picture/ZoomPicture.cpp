// The scaled load: a picture drawn into a caller's block by fixed-point bilinear interpolation, with
// positions in 1/256 pixel and weights taken from the module's product table.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "../include/KivPicture.h"
#include "../readers/Readers.h"
#include "ModuleState.h"

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

class BilinearSampler {
  public:
    BilinearSampler(const DWORD* pixels, long long width, long long height, std::vector<size_t> rowStarts)
        : pixels_(pixels),
          width_(width),
          height_(height),
          rowStarts_(std::move(rowStarts)),
          products_(GetProductTable()) {}

    tagCOLOR32 Sample(long long x, long long y) const {
        const long long ix = x >> 8;  // arithmetic shift: -1 just left of the picture
        const long long iy = y >> 8;
        const unsigned fx = static_cast<unsigned>(x & 255);
        const unsigned fy = static_cast<unsigned>(y & 255);
        const unsigned w00 = Product(255 - fx, 255 - fy);
        const unsigned w10 = Product(fx, 255 - fy);
        const unsigned w01 = Product(fy, 255 - fx);
        const unsigned w11 = Product(fx, fy);

        unsigned flags = 0;
        long long x0 = ix, x1 = ix + 1, y0 = iy, y1 = iy + 1;
        if (x0 < 0) {
            if (x0 < -1) flags |= kLeftOutside;
            x0 = 0;
        } else if (x0 >= width_) {
            x0 = width_ - 1;
            flags |= kRightOfX0;
        }
        if (y0 < 0) {
            if (y0 < -1) flags |= kAboveOutside;
            y0 = 0;
        } else if (y0 >= height_) {
            y0 = height_ - 1;
            flags |= kBelowOfY0;
        }
        if (x1 < 0) {
            x1 = 0;
            flags |= kLeftOfX1;
        } else if (x1 >= width_) {
            if (x1 > width_) flags |= kRightOutside;
            x1 = width_ - 1;
        }
        if (y1 < 0) {
            y1 = 0;
            flags |= kAboveOfY1;
        } else if (y1 >= height_) {
            if (y1 > height_) flags |= kBelowOutside;
            y1 = height_ - 1;
        }

        const tagCOLOR32 p00 = Pixel(x0, y0), p10 = Pixel(x1, y0), p01 = Pixel(x0, y1), p11 = Pixel(x1, y1);
        const auto blend = [&](BYTE a, BYTE b, BYTE c, BYTE d) {
            return static_cast<BYTE>((w00 * a + w10 * b + w01 * c + w11 * d) >> 16);
        };
        tagCOLOR32 out{blend(p00.blue, p10.blue, p01.blue, p11.blue),
                       blend(p00.green, p10.green, p01.green, p11.green),
                       blend(p00.red, p10.red, p01.red, p11.red), 0};
        if (flags == 0) {
            out.alpha = blend(p00.alpha, p10.alpha, p01.alpha, p11.alpha);
            return out;
        }
        unsigned weighted = 0, weights = 0;
        const auto count = [&](unsigned excludes, unsigned weight, BYTE alpha) {
            if (flags & excludes) return;
            weighted += weight * alpha;
            weights += weight;
        };
        count(kExcludesP00, w00, p00.alpha);
        count(kExcludesP10, w10, p10.alpha);
        count(kExcludesP01, w01, p01.alpha);
        count(kExcludesP11, w11, p11.alpha);
        out.alpha = weights ? static_cast<BYTE>(weighted / weights) : 0;
        return out;
    }

  private:
    unsigned Product(unsigned a, unsigned b) const { return products_[a * kProductTableSide + b]; }
    tagCOLOR32 Pixel(long long x, long long y) const {
        return tagCOLOR32::FromWord(pixels_[rowStarts_[static_cast<size_t>(y)] + static_cast<size_t>(x)]);
    }

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

bool LoadZoomSource(const CString& path, CSize size, ZoomSource& source) {
    if (size.cx <= 0 || size.cy <= 0) return false;  // no step can be taken towards an empty target
    if (!KivPublicDoesFileExist(path)) return false;
    CRect rect;
    KivLoadStatus status = KivLoadStatus::ok;
    source.picture.pixels.reset(KivPictureLoadPicFileEx(path, rect, &status));
    if (!source.picture.pixels) return false;
    source.picture.rect = rect;
    // Positions are kept in 64 bits: a wide picture's W x 256 would overflow 32-bit arithmetic.
    source.xStep = static_cast<long long>(rect.Width()) * 256 / size.cx + 1;
    source.yStep = static_cast<long long>(rect.Height()) * 256 / size.cy + 1;
    source.xStart = (source.xStep >> 1) - 128;
    source.yStart = (source.yStep >> 1) - 128;
    return true;
}

BilinearSampler MakeSampler(const ZoomSource& source) {
    const long long width = source.picture.rect.Width();
    const long long height = source.picture.rect.Height();
    std::vector<size_t> rowStarts(static_cast<size_t>(height));
    for (long long j = 0; j < height; ++j) rowStarts[static_cast<size_t>(j)] = static_cast<size_t>(j * width);
    return BilinearSampler(source.picture.pixels.get(), width, height, std::move(rowStarts));
}

// Samples the region [left, right) x [top, bottom) of the target, starting at the source's start
// position for the region's first pixel.
void DrawRegion(const ZoomSource& source, const BilinearSampler& sampler, tagCOLOR32* target, CSize size,
                const CRect& region, MIXMODE mode) {
    long long y = source.yStart;
    for (int row = region.top; row < region.bottom; ++row, y += source.yStep) {
        tagCOLOR32* out = target + static_cast<size_t>(row) * static_cast<size_t>(size.cx);
        long long x = source.xStart;
        for (int column = region.left; column < region.right; ++column, x += source.xStep)
            out[column] = KivMixByMode(sampler.Sample(x, y), out[column], mode);
    }
}

// The row table is the only allocation after the load; without it nothing is drawn.
template <typename Draw>
int Guarded(Draw&& draw) {
    try {
        return draw();
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

}  // namespace

int KivPictureZoomPicFile(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode) {
    if (!target) return 0;
    return Guarded([&]() {
        ZoomSource source;
        if (!LoadZoomSource(path, size, source)) return 0;
        DrawRegion(source, MakeSampler(source), target, size, CRect(0, 0, size.cx, size.cy), mode);
        return 1;
    });
}

int KivPictureZoomPicFile(const CString& path, CRect clip, CRect placement, CSize size, tagCOLOR32* target,
                          MIXMODE mode) {
    if (!target) return 0;
    return Guarded([&]() {
        ZoomSource source;
        if (!LoadZoomSource(path, size, source)) return 0;
        const BilinearSampler sampler = MakeSampler(source);
        CRect inside;
        inside.IntersectRect(clip, CRect(0, 0, size.cx, size.cy));
        if (placement.IsRectEmpty()) placement = source.picture.rect;  // a TGA's stored position places it
        const CRect region(std::max(inside.left, placement.left), std::max(inside.top, placement.top),
                           std::min(inside.right, placement.right),
                           std::min(inside.bottom, placement.bottom));
        if (!region.IsRectEmpty()) DrawRegion(source, sampler, target, size, region, mode);
        return 1;
    });
}
