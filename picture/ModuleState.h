// The module's process-wide state, for the parts of the module that read it.
#pragma once

#include "platform/WinTypes.h"

constexpr int kProductTableSide = 256;

// The 256 x 256 products a x b (index a * 256 + b); all zero until KivPictureOpen fills them.
const WORD* GetProductTable();

// The open-dialog choice and the original-position flags are read and set through the module's interface
// (KivPicture.h), as the dialogs in the window library must.

// The module's handle: its resource table, kept in the extension-module record. Null before the library
// has attached.
HINSTANCE GetKivPictureModuleHandle();

// Where the open-dialog choice is kept.
constexpr const wchar_t* kSettingsFileName = L"KivClient.ini";
constexpr const wchar_t* kSettingsSection = L"COMMON_SETUP";
constexpr const wchar_t* kOpenDialogKey = L"OpenPicDlg";
// The user's JPEG choices, in the same section; read, never written, by the module.
constexpr const wchar_t* kJpegFullColourKey = L"JpegFullColour";
constexpr const wchar_t* kJpegAutoOrientKey = L"JpegAutoOrient";
