// The public library's drawing on device contexts: pixels of its own layouts put on a window.
#pragma once

#include "libraries/KivPublic.h"
#include "platform/window/DeviceContext.h"

// Draws size.cx x size.cy pixels into rect of dc, stretched (smoothly) when rect is another size. bits 24:
// image is in the thumbnail layout of KivPublicMakeIcon (3 bytes blue, green, red; rows top to bottom, no
// padding) and covers what is below. bits 32: image is tagCOLOR32 pixels (rows top to bottom, stride cx)
// laid over what is below by their straight alpha. Nonzero on success; zero, drawing nothing, for a null
// dc or image, an empty rect, a size that is not positive or over 32 bits of bytes, or other bits.
KIV_RUNTIME_API BOOL KivPublicDrawIcon(CDC* dc, CRect rect, const void* image, CSize size, int bits);
