// JPEG files written with the IJG library's compressor, and the library's own decodings to compare the
// reader with: plain (grey and four-component files) and quantised to 128 colours with the library's
// default quantiser settings (colour files).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestFiles.h"

// A picture to compress: width x height pixels of `components` interleaved samples, in the library's
// colour space numbering (J_COLOR_SPACE): 1 grey, 2 RGB, 4 CMYK.
struct JpegSource {
    unsigned width = 1;
    unsigned height = 1;
    int components = 3;
    int inputColourSpace = 2;
    int fileColourSpace = -1;  // the colour space stored in the file; -1 keeps the library's choice
    int quality = 90;
    bool progressive = false;
    std::vector<std::uint8_t> samples;
};

// The file the library's compressor writes for the source.
Bytes CompressJpeg(const JpegSource& source);

enum class JpegReferenceMode { plain, quantised128 };

// The library's decoding of a file: the output rows as it delivers them (one index per pixel when
// quantised), and the colour map when there is one.
struct JpegReference {
    bool ok = false;
    int messageCode = 0;  // the library's error code when not ok
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;       // output components: 1 for grey and quantised output, 4 for CMYK
    int fileComponents = 0;   // components in the file
    bool fileIsGrey = false;  // the file's colour space is grey-scale
    std::vector<std::uint8_t> samples;
    std::vector<std::vector<std::uint8_t>> colourMap;  // one row per colour component
};

JpegReference DecodeWithLibjpeg(const std::string& path, JpegReferenceMode mode);

// The pixel words the reader must deliver for a file, computed from the library's decodings: a grey
// file's samples through a grey ramp, a four-component file's samples scaled by their fourth one, any
// other file's quantised indices through its colour map. Empty when the library cannot decode the file.
std::vector<DWORD> ExpectedJpegPixels(const std::string& path, unsigned& width, unsigned& height);
