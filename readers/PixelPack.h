// The one way a pixel word is packed from its parts: tagCOLOR32 in a word is 0xAARRGGBB, bytes blue,
// green, red, alpha in memory. Every reader packs through these.
#pragma once

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

// A 5-5-5 word (blue in the low bits, bit 15 ignored) widened two ways, each as its format defines it:
// BMP shifts each component left by 3, so 31 becomes 248; TGA also sets the low three bits of a nonzero
// component, so 0 stays 0 and 31 becomes 255. The results differ, and files of each format rely on theirs.
constexpr DWORD WidenBmp555(DWORD word) {
    return PackBgra((word >> 10 & 0x1F) << 3, (word >> 5 & 0x1F) << 3, (word & 0x1F) << 3);
}
constexpr DWORD WidenTgaFiveBits(DWORD c) { return c == 0 ? 0 : c << 3 | 7; }
