// The module-resource library's window calls: a message box showing a string of a module's string table,
// and a module's bitmap as a CBitmap. Declared with the library's class in libraries/KivModuleRC.h; this
// header brings what they need.
#pragma once

#include "libraries/KivModuleRC.h"
#include "platform/window/DeviceContext.h"
#include "platform/window/WindowMessageBox.h"
