// The two loads of a picture into a caller's block of size.cx x size.cy pixels (rows top to bottom),
// combining each sample with the target pixel by mode. The target must be a real block (not null, both
// sides positive); the exported entry points check that. Each returns why the picture could not be drawn,
// with the target untouched, or ok.
#pragma once

#include "KivPictureBase.h"
#include "libraries/KivPublic.h"

// Area averaging: each target pixel is the average of the source area under it, in double precision.
KivLoadStatus LoadAreaScaled(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode);

// Bilinear interpolation in 1/256 pixel with the product table (KivPictureOpen fills it) into the whole
// target.
KivLoadStatus LoadBilinearScaled(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode);
// The same into the part of the target inside both clip (cut to the target) and placement (the picture's
// own rectangle when empty, which places a TGA at its stored position).
KivLoadStatus LoadBilinearScaled(const CString& path, CRect clip, CRect placement, CSize size,
                                 tagCOLOR32* target, MIXMODE mode);
