// The public library: the colour type, pixel blocks and helper functions shared by the maker's modules.
#pragma once

#include <cstring>

#include "../platform/CString.h"
#include "../platform/Geometry.h"
#include "../platform/WinTypes.h"

// One 32-bit pixel: bytes blue, green, red, alpha in memory order, so the word reads 0xAARRGGBB.
// Alpha is straight, not premultiplied.
struct tagCOLOR32 {
    BYTE blue;
    BYTE green;
    BYTE red;
    BYTE alpha;

    static tagCOLOR32 FromWord(DWORD word) {
        tagCOLOR32 c;
        std::memcpy(&c, &word, sizeof c);
        return c;
    }
    DWORD Word() const {
        DWORD word;
        std::memcpy(&word, this, sizeof word);
        return word;
    }
    friend bool operator==(const tagCOLOR32& a, const tagCOLOR32& b) { return a.Word() == b.Word(); }
};
static_assert(sizeof(tagCOLOR32) == 4, "a pixel is one 32-bit word");

// How a new pixel S joins a target pixel T: 0 = KivPublicMixColor(S, T, 1), 1 = KivPublicMixColor(T, S, 1),
// any other value = S replaces T.
using MIXMODE = int;

// The field structure of a video block; kept for the callers' signatures.
enum KIV_ENUM_FIELD_TYPE { KIV_FIELD_TOP = 0, KIV_FIELD_BOTTOM = 1, KIV_FIELD_FRAME = 2 };

// Nonzero when path names an existing regular file (or a link to one).
KIV_API BOOL KivPublicDoesFileExist(LPCWSTR path);
// Nonzero when path names an existing folder (or a link to one).
KIV_API BOOL KivPublicDoesDirExist(LPCWSTR path);

// Mixes two colours. Mode 1 lays a over b ("source over" with straight alpha, rounded to the nearest
// byte): the result's alpha is a.alpha + b.alpha * (255 - a.alpha) / 255 and each colour channel the
// alpha-weighted average of the two. Every other mode returns a unchanged.
KIV_API tagCOLOR32 KivPublicMixColor(tagCOLOR32 a, tagCOLOR32 b, int mode);

// Fills count entries of table spread evenly from first to last, both included (rounded to the nearest
// whole number); one entry is first. Nothing is written for a count below 1.
KIV_API void KivPublicInsLine(int first, int last, int count, int* table);

// A wide copy of an 8-bit text, each byte one character (Latin-1); null gives an empty text.
KIV_API CString KivPublicToUnicode(const char* text);

// A thumbnail of dstSize 3-byte pixels (blue, green, red; rows top to bottom, no padding) taken from
// srcRect of 32-bit pixels of srcSize, each thumbnail pixel the source pixel nearest its place. A new
// GlobalAlloc block, released with GlobalFree unless handed to an icon; null when srcRect has nothing
// inside the source, a size is not positive, bits is not 24, or the memory is not there.
KIV_API BYTE* KivPublicMakeIcon(const tagCOLOR32* pixels, CSize srcSize, CRect srcRect, CSize dstSize,
                                int bits);

// Combines S into T by a MIXMODE.
inline tagCOLOR32 KivMixByMode(tagCOLOR32 source, tagCOLOR32 target, MIXMODE mode) {
    if (mode == 0) return KivPublicMixColor(source, target, 1);
    if (mode == 1) return KivPublicMixColor(target, source, 1);
    return source;
}

// A block of cx x cy pixels, rows top to bottom with stride cx. It either views a caller's pixels or
// owns pixels of its own.
class KIV_API CKivMemBlock {
  public:
    CKivMemBlock() = default;
    CKivMemBlock(const CKivMemBlock&) = delete;
    CKivMemBlock& operator=(const CKivMemBlock&) = delete;
    ~CKivMemBlock() { Close(); }

    // With pixels, views them without taking them over; with null, owns new zeroed pixels. The third
    // argument is reserved (callers pass 0). Fails for a non-positive size or one whose bytes do not fit
    // in 32 bits.
    BOOL InitBlock(CSize size, tagCOLOR32* pixels, int reserved = 0);
    // Releases what the block owns and leaves it empty.
    void Close();

    CSize GetSize() const { return size_; }
    CRect GetRect() const { return CRect(0, 0, size_.cx, size_.cy); }
    tagCOLOR32* GetAddress() const { return pixels_; }
    // The address of pixel (x, y), or null outside the block.
    tagCOLOR32* GetPixelAddress(int x, int y) const;

    // Puts the source's sourceRect (cut to the source) at point of this block, cut to this block, each
    // pixel combined by mode. The last two arguments are kept for the callers' signatures: every row is
    // copied. Returns nonzero when at least one pixel was copied.
    BOOL Copy(CPoint point, const CKivMemBlock& source, CRect sourceRect, MIXMODE mode, int reserved = 1,
              KIV_ENUM_FIELD_TYPE field = KIV_FIELD_FRAME);

  private:
    tagCOLOR32* pixels_ = nullptr;
    CSize size_;
    bool owns_ = false;
};
