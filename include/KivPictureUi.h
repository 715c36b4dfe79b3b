// The still-picture module's window interface: fills into windows and device contexts, the thumbnail
// list, the picture selection dialogs and the save prompt. Link KivPictureUi (and Qt 6 Widgets).
#pragma once

#include "KivPicture.h"
#include "media/window/ClipMediaListCtrl.h"
