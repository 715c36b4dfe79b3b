#include "platform/ModuleResources.h"

#include <cwchar>
#include <cwctype>

#include "platform/RuntimeLibrary.h"

using kivrt::_wcsicmp;

namespace {

// Whether the identifier argument (integer or "#123" or a name) names the entry's id or name.
bool Matches(LPCWSTR wanted, WORD entryId, LPCWSTR entryName) {
    if (IS_INTRESOURCE(wanted)) return entryId != 0 && entryId == static_cast<WORD>(reinterpret_cast<UINT_PTR>(wanted));
    if (wanted[0] == L'#') {
        wchar_t* end = nullptr;
        const unsigned long id = std::wcstoul(wanted + 1, &end, 10);
        return end != wanted + 1 && *end == L'\0' && entryId != 0 && id == entryId;
    }
    return entryName != nullptr && _wcsicmp(wanted, entryName) == 0;
}

}  // namespace

HRSRC FindResourceW(HINSTANCE module, LPCWSTR name, LPCWSTR type) {
    if (!module || !name || !type) return nullptr;
    for (SIZE_T i = 0; i < module->count; ++i) {
        const ModuleResourceEntry& entry = module->entries[i];
        if (Matches(type, entry.typeId, entry.typeName) && Matches(name, entry.nameId, entry.name)) return &entry;
    }
    return nullptr;
}

HGLOBAL LoadResource(HINSTANCE module, HRSRC resource) {
    if (!module || !resource) return nullptr;
    return const_cast<BYTE*>(resource->data);
}

DWORD SizeofResource(HINSTANCE module, HRSRC resource) { return module && resource ? resource->size : 0; }

LPVOID LockResource(HGLOBAL loaded) { return loaded; }

BOOL FreeResource(HGLOBAL) { return FALSE; }
