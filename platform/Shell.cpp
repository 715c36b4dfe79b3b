#include "platform/Shell.h"

#include <cwctype>
#include <string>

#include "platform/RuntimeLibrary.h"

using kivrt::_MAX_EXT;
using kivrt::_wsplitpath;

ULONGLONG SHGetFileInfoW(LPCWSTR path, DWORD, SHFILEINFOW* info, UINT infoSize, UINT flags) {
    if (!path || !info || infoSize < sizeof(SHFILEINFOW) || !(flags & SHGFI_TYPENAME)) return 0;
    wchar_t extension[_MAX_EXT];
    _wsplitpath(path, nullptr, nullptr, nullptr, extension);
    std::wstring name;
    for (const wchar_t* c = extension[0] == L'.' ? extension + 1 : extension; *c; ++c)
        name += static_cast<wchar_t>(std::towupper(static_cast<wint_t>(*c)));
    name = name.empty() ? L"File" : name + L" File";
    name.resize(std::min<size_t>(name.size(), kShellTypeNameLength - 1));
    name.copy(info->szTypeName, name.size());
    info->szTypeName[name.size()] = L'\0';
    return 1;
}
