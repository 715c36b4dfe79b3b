// Module resources: each module carries a table of resources compiled into it at build time (see
// cmake/EmbedResources.cmake); a module handle names that table. Resource names and types are matched as
// the system matches them: integer identifiers by value ("#123" names identifier 123), strings without
// regard to case.
#pragma once

#include "platform/WinTypes.h"

struct ModuleResourceEntry {
    WORD typeId;           // nonzero for an integer type (RT_BITMAP = 2)
    LPCWSTR typeName;      // otherwise the type's name
    WORD nameId;           // nonzero for an integer identifier
    LPCWSTR name;          // otherwise the resource's name
    const BYTE* data;
    DWORD size;
};

struct ModuleResourceTable {
    const char* moduleName;
    const ModuleResourceEntry* entries;
    SIZE_T count;
};

KIV_RUNTIME_API HRSRC FindResourceW(HINSTANCE module, LPCWSTR name, LPCWSTR type);
// The resource's bytes; they are read-only and live as long as the module.
KIV_RUNTIME_API HGLOBAL LoadResource(HINSTANCE module, HRSRC resource);
KIV_RUNTIME_API DWORD SizeofResource(HINSTANCE module, HRSRC resource);
KIV_RUNTIME_API LPVOID LockResource(HGLOBAL loaded);
// Compiled-in resources need no release; kept for the calling pattern.
KIV_RUNTIME_API BOOL FreeResource(HGLOBAL loaded);
