// The little of the desktop shell the module asks for: the type name of a file.
#pragma once

#include "platform/WinTypes.h"

constexpr UINT SHGFI_TYPENAME = 0x400;
constexpr int kShellTypeNameLength = 80;

struct SHFILEINFOW {
    int iIcon;  // SHGFI_SYSICONINDEX: the index in the system image list (the window layer's query)
    WCHAR szTypeName[kShellTypeNameLength];
};

// With SHGFI_TYPENAME, fills info.szTypeName with the file's type name: "<EXT> File" for a name with an
// extension (the extension upper-cased, without its dot), "File" without one. Linux keeps no registry
// of type names, so the name comes from the extension alone, as the system names types it does not know.
// Returns nonzero when a name was given.
KIV_RUNTIME_API ULONGLONG SHGetFileInfoW(LPCWSTR path, DWORD attributes, SHFILEINFOW* info, UINT infoSize,
                                 UINT flags);
