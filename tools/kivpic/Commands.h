// The commands of kivpic. Each returns the process's exit status: 0 done, 1 failed (with one line on
// standard error naming the file and the reason).
#pragma once

#include <optional>
#include <string>

#include "KivPicture.h"

struct ConvertOptions {
    std::string input;
    std::string output;
    std::optional<CRect> region;
    bool json = false;
};

int RunConvert(const ConvertOptions& options);

// Parses "L,T,R,B" into a rectangle; nothing when the text is not four integers.
std::optional<CRect> ParseRectangle(const std::string& text);
