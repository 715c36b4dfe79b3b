// Image lists: icons by index, as trees draw their items' images.
#pragma once

#include <vector>

#include <QIcon>

#include "platform/WinTypes.h"
#include "platform/window/DeviceContext.h"

constexpr COLORREF CLR_NONE = 0xFFFFFFFF;

struct KivImageList {
    std::vector<QIcon> icons;
    COLORREF background = CLR_NONE;  // behind the icons; none: the control's own background shows
};
using HIMAGELIST = KivImageList*;

KIV_RUNTIME_API int ImageList_GetImageCount(HIMAGELIST list);
// The previous colour.
KIV_RUNTIME_API COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF colour);
