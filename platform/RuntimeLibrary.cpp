#include "platform/RuntimeLibrary.h"

#include <cwctype>
#include <string_view>

#include "platform/CString.h"

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

void CopyPart(std::wstring_view part, LPWSTR out, int capacity) {
    if (!out) return;
    const size_t n = part.size() < static_cast<size_t>(capacity - 1) ? part.size() : capacity - 1;
    part.copy(out, n);
    out[n] = L'\0';
}

}  // namespace

namespace kivrt {

void _wsplitpath(LPCWSTR path, LPWSTR drive, LPWSTR dir, LPWSTR fname, LPWSTR ext) {
    std::wstring_view rest(path ? path : L"");
    std::wstring_view drivePart;
    if (rest.size() >= 2 && rest[1] == L':' && std::iswalpha(static_cast<wint_t>(rest[0]))) {
        drivePart = rest.substr(0, 2);
        rest.remove_prefix(2);
    }
    size_t nameStart = 0;
    for (size_t i = 0; i < rest.size(); ++i)
        if (IsSeparator(rest[i])) nameStart = i + 1;
    const std::wstring_view dirPart = rest.substr(0, nameStart);
    const std::wstring_view last = rest.substr(nameStart);
    const size_t dot = last.rfind(L'.');
    const std::wstring_view namePart = dot == std::wstring_view::npos ? last : last.substr(0, dot);
    const std::wstring_view extPart = dot == std::wstring_view::npos ? std::wstring_view() : last.substr(dot);
    CopyPart(drivePart, drive, _MAX_DRIVE);
    CopyPart(dirPart, dir, _MAX_DIR);
    CopyPart(namePart, fname, _MAX_FNAME);
    CopyPart(extPart, ext, _MAX_EXT);
}

int _wcsicmp(LPCWSTR a, LPCWSTR b) {
    for (;; ++a, ++b) {
        const wint_t ca = static_cast<wint_t>(FoldCase(*a));
        const wint_t cb = static_cast<wint_t>(FoldCase(*b));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

std::FILE* _wfopen(LPCWSTR path, LPCWSTR mode) {
    std::string narrowMode = CString(mode).ToUtf8();
    if (narrowMode.find('e') == std::string::npos) narrowMode += 'e';  // close on exec
    return std::fopen(CString(path).ToFileSystem().c_str(), narrowMode.c_str());
}

}  // namespace kivrt
