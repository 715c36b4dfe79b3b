// The one way a pixel word is packed from its parts: tagCOLOR32 in a word is 0xAARRGGBB, bytes blue,
// green, red, alpha in memory. Every reader packs through these.
#pragma once

#include <array>
#include <bit>
#include <cstddef>

#include "platform/WinTypes.h"

constexpr DWORD kOpaqueAlpha = 0xFF000000u;
// Opaque black: what palette entries a file does not define read as.
constexpr DWORD kOpaqueBlack = kOpaqueAlpha;

constexpr DWORD PackBgra(DWORD red, DWORD green, DWORD blue, DWORD alpha = 255) {
    return alpha << 24 | red << 16 | green << 8 | blue;
}
// Three bytes stored red, green, blue (GIF and PCX palettes), opaque.
inline DWORD PackRgbBytes(const BYTE* rgb) { return PackBgra(rgb[0], rgb[1], rgb[2]); }
// Three bytes stored blue, green, red (BMP rows and palettes), opaque.
inline DWORD PackBgrBytes(const BYTE* bgr) { return PackBgra(bgr[2], bgr[1], bgr[0]); }

// A row of count pixels of three bytes blue, green, red (BMP and TGA rows) packed as opaque pixel words:
// PackBgrBytes over the row, sixteen pixels at a time where the processor shuffles bytes (SSSE3).
void PackBgrRow(const BYTE* bgr, DWORD* out, std::size_t count);

// A 5-5-5 word (blue in the low bits, bit 15 ignored) widened two ways, each as its format defines it:
// BMP shifts each component left by 3, so 31 becomes 248; TGA also sets the low three bits of a nonzero
// component, so 0 stays 0 and 31 becomes 255. The results differ, and files of each format rely on theirs.
constexpr DWORD WidenBmp555(DWORD word) {
    return PackBgra((word >> 10 & 0x1F) << 3, (word >> 5 & 0x1F) << 3, (word & 0x1F) << 3);
}
constexpr DWORD WidenTgaFiveBits(DWORD c) { return c == 0 ? 0 : c << 3 | 7; }

// A pixel word whose red, green, blue and alpha lie under bit masks (BMP bit fields). A component takes its
// mask's bits, only the top 8 of a wider mask, and widens them to 8 by repeating them, so that full range
// stays full range (5 bits: 31 becomes 255, 16 becomes 132). A zero mask reads as 0, alpha as 255.
class BitFieldLayout {
  public:
    enum Component { kRed, kGreen, kBlue, kAlpha };
    // False when a mask's bits are not one contiguous run.
    bool Set(const std::array<DWORD, 4>& masks) {
        for (int c = kRed; c <= kAlpha; ++c) {
            const DWORD mask = masks[c];
            const unsigned low = mask ? static_cast<unsigned>(std::countr_zero(mask)) : 0;
            const unsigned bits = static_cast<unsigned>(std::popcount(mask));
            const DWORD run = mask >> low;
            if ((run & (run + 1)) != 0) return false;
            const unsigned kept = bits < 8 ? bits : 8;
            components_[c].shift = low + bits - kept;
            components_[c].mask = kept == 0 ? 0 : (1u << kept) - 1;
            for (DWORD value = 0; value <= components_[c].mask; ++value) {
                DWORD wide = 0;
                for (int at = 8 - static_cast<int>(kept); kept && at > -static_cast<int>(kept); at -= kept)
                    wide |= at >= 0 ? value << at : value >> -at;
                components_[c].widen[value] = static_cast<BYTE>(wide);
            }
            if (kept == 0) components_[c].widen[0] = c == kAlpha ? 255 : 0;
        }
        return true;
    }
    DWORD Pack(DWORD word) const {
        return PackBgra(Get(kRed, word), Get(kGreen, word), Get(kBlue, word), Get(kAlpha, word));
    }

  private:
    struct Field {
        unsigned shift = 0;
        DWORD mask = 0;
        std::array<BYTE, 256> widen{};
    };
    DWORD Get(Component c, DWORD word) const {
        const Field& f = components_[c];
        return f.widen[word >> f.shift & f.mask];
    }
    std::array<Field, 4> components_{};
};
