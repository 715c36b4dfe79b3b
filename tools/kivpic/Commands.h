// The commands of kivpic. Each returns the process's exit status: 0 done, 1 failed (with one line on
// standard error naming the file and the reason).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "KivPicture.h"

struct ConvertOptions {
    std::string input;
    std::string output;
    std::optional<CRect> region;
    bool json = false;
};

int RunConvert(const ConvertOptions& options);

struct ZoomOptions {
    std::string input;
    std::string output;
    CSize size;
    bool areaMethod = false;  // the area-averaging load instead of bilinear interpolation
    int mode = 2;
    std::string onto;  // a picture of the target's size to draw onto, instead of a transparent block
    std::optional<CRect> clip;
    std::optional<CRect> place;
};

// Scales IN into a block of the given size and saves the block as OUT.
int RunZoom(const ZoomOptions& options);

// Parses "WxH" with both sides positive; nothing otherwise.
std::optional<CSize> ParseSize(const std::string& text);

struct InfoOptions {
    std::vector<std::string> files;
    bool json = false;
};

// Probes each file's header; one line per file. Fails (1) when any file was refused.
int RunInfo(const InfoOptions& options);

// Text as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// Parses "L,T,R,B" into a rectangle; nothing when the text is not four integers.
std::optional<CRect> ParseRectangle(const std::string& text);
