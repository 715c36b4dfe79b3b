// The PSD colour conversions written out as the reader's design states them, in double precision, for
// one-byte samples (a 16-bit sample's high byte): the expected values of the PSD tests.
#pragma once

#include <cmath>
#include <initializer_list>

#include "platform/WinTypes.h"

namespace psdtest {

inline BYTE ClampTruncated(double value) {
    const double whole = std::trunc(value);
    return static_cast<BYTE>(whole < 0 ? 0 : whole > 255 ? 255 : whole);
}

// CMYK and multichannel: c = 1 - s / M, k = 1 - key / M with M = 256 (k = 0 without a key channel);
// colour = trunc((1 - (c (1 - k) + k)) x 255).
inline double Key(unsigned sample) {
    return 1 - sample / 256.0;
}
inline DWORD InkPixel(unsigned s0, unsigned s1, unsigned s2, double k) {
    DWORD word = 0xFF000000u;
    for (const unsigned s : {s0, s1, s2})
        word = word << 8 | ClampTruncated((1 - ((1 - s / 256.0) * (1 - k) + k)) * 255);
    return word | 0xFF000000u;
}

// Lab through XYZ (D65) to sRGB.
inline DWORD LabPixel(unsigned s0, unsigned s1, unsigned s2) {
    const double m = 256;
    const int l = static_cast<int>(std::trunc(s0 / (m / 100)));
    const int a = static_cast<int>(std::trunc(s1 / (m / 256) - 128));
    const int b = static_cast<int>(std::trunc(s2 / (m / 256) - 128));
    const double fy = (l + 16) / 116.0, fx = a / 500.0 + fy, fz = fy - b / 200.0;
    const auto t = [](double f) {
        return std::pow(f, 3) > 0.008856 ? std::pow(f, 3) : (f - 16.0 / 116) / 7.787;
    };
    const double x = 95.047 * t(fx) / 100, y = 100 * t(fy) / 100, z = 108.883 * t(fz) / 100;
    const double rgb[3] = {3.2406 * x - 1.5372 * y - 0.4986 * z, -0.9689 * x + 1.8758 * y + 0.0415 * z,
                           0.0557 * x - 0.2040 * y + 1.0570 * z};
    DWORD word = 0xFF000000u;
    for (int i = 0; i < 3; ++i) {
        const double u = rgb[i] > 0.0031308 ? 1.055 * std::pow(rgb[i], 1 / 2.4) - 0.055 : 12.92 * rgb[i];
        word |= static_cast<DWORD>(ClampTruncated(u * 256)) << (16 - 8 * i);
    }
    return word;
}

}  // namespace psdtest
