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

// How well an entry's language serves the wanted one: the lower the better.
int LanguageRank(LANGID entry, LANGID wanted) {
    if (entry == wanted) return 0;
    if (entry == LANG_NEUTRAL_ID) return 1;
    if (entry == LANG_ENGLISH_US) return 2;
    return 3;
}

}  // namespace

HRSRC FindResourceW(HINSTANCE module, LPCWSTR name, LPCWSTR type) {
    return FindResourceExW(module, type, name, GetThreadUILanguage());
}

HRSRC FindResourceExW(HINSTANCE module, LPCWSTR type, LPCWSTR name, LANGID language) {
    if (!module || !name || !type) return nullptr;
    HRSRC best = nullptr;
    int bestRank = 0;
    for (SIZE_T i = 0; i < module->count; ++i) {
        const ModuleResourceEntry& entry = module->entries[i];
        if (!Matches(type, entry.typeId, entry.typeName) || !Matches(name, entry.nameId, entry.name))
            continue;
        const int rank = LanguageRank(entry.language, language);
        if (!best || rank < bestRank) {
            best = &entry;
            bestRank = rank;
        }
        if (rank == 0) break;
    }
    return best;
}

HGLOBAL LoadResource(HINSTANCE module, HRSRC resource) {
    if (!module || !resource) return nullptr;
    return const_cast<BYTE*>(resource->data);
}

DWORD SizeofResource(HINSTANCE module, HRSRC resource) { return module && resource ? resource->size : 0; }

LPVOID LockResource(HGLOBAL loaded) { return loaded; }

BOOL FreeResource(HGLOBAL) { return FALSE; }
