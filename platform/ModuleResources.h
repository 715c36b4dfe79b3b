// Module resources: each module carries a table of resources compiled into it at build time (see
// cmake/EmbedResources.cmake); a module handle names that table. Resource names and types are matched as
// the system matches them: integer identifiers by value ("#123" names identifier 123), strings without
// regard to case. A resource may exist in several languages under one type and name.
#pragma once

#include "platform/Language.h"
#include "platform/WinTypes.h"

#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)

struct ModuleResourceEntry {
    WORD typeId;           // nonzero for an integer type (RT_BITMAP = 2)
    LPCWSTR typeName;      // otherwise the type's name
    WORD nameId;           // nonzero for an integer identifier
    LPCWSTR name;          // otherwise the resource's name
    const BYTE* data;
    DWORD size;
    LANGID language = LANG_NEUTRAL_ID;  // 0: the one resource for every language
};

struct ModuleResourceTable {
    const char* moduleName;
    const ModuleResourceEntry* entries;
    SIZE_T count;
};

// The resource in the thread's user-interface language (GetThreadUILanguage), else the neutral one, else
// the US English one, else the first of that type and name in the table.
KIV_RUNTIME_API HRSRC FindResourceW(HINSTANCE module, LPCWSTR name, LPCWSTR type);
// The same choice for a given language.
KIV_RUNTIME_API HRSRC FindResourceExW(HINSTANCE module, LPCWSTR type, LPCWSTR name, LANGID language);
// The resource's bytes; they are read-only and live as long as the module.
KIV_RUNTIME_API HGLOBAL LoadResource(HINSTANCE module, HRSRC resource);
KIV_RUNTIME_API DWORD SizeofResource(HINSTANCE module, HRSRC resource);
KIV_RUNTIME_API LPVOID LockResource(HGLOBAL loaded);
// Compiled-in resources need no release; kept for the calling pattern.
KIV_RUNTIME_API BOOL FreeResource(HGLOBAL loaded);
