#include "platform/window/ImageList.h"

int ImageList_GetImageCount(HIMAGELIST list) { return list ? static_cast<int>(list->icons.size()) : 0; }

COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF colour) {
    if (!list) return CLR_NONE;
    const COLORREF previous = list->background;
    list->background = colour;
    return previous;
}
