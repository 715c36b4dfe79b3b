// The file-mask matcher of the directory search over arbitrary names and masks. The input is the name's
// bytes as the file system holds them, a zero byte, and the mask (UTF-8). Checks the rules every mask keeps,
// and that the name's bytes survive the trip through wide text.

#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/DirectorySearch.h"

namespace {

// ASCII letters turned to the other case: the matcher must not notice.
std::wstring SwappedCase(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
        else if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return out;
}

bool HasWildcard(std::wstring_view text) {
    return text.find_first_of(L"*?") != std::wstring_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t zero = input.find('\0');
    const std::string_view bytes = input.substr(0, zero);
    const CString wide = CString::FromFileSystem(bytes);
    if (wide.ToFileSystem() != bytes) FuzzFail("a name's bytes changed on the way through wide text");
    const std::wstring& name = wide.Text();
    const std::wstring mask = zero == std::string_view::npos
                                  ? std::wstring(L"*")
                                  : CString::FromUtf8(input.substr(zero + 1)).Text();

    const bool matches = MatchesFileMask(name, mask);
    if (name.empty() && matches) FuzzFail("an empty name matched");
    if (matches != MatchesFileMask(SwappedCase(name), SwappedCase(mask)))
        FuzzFail("letter case changed a match");
    if (!name.empty() && (!MatchesFileMask(name, L"*") || !MatchesFileMask(name, L"*.*")))
        FuzzFail("a name did not match everything");
    if (!name.empty() && !HasWildcard(name) && name.back() != L'.' && !MatchesFileMask(name, name))
        FuzzFail("a plain name did not match itself");
    // A mask of a star and the name's own ending matches, whatever the ending is.
    if (!HasWildcard(name) && name.size() > 1 && name.back() != L'.') {
        const std::wstring ending = name.substr(name.size() / 2);
        if (!MatchesFileMask(name, L"*" + ending)) FuzzFail("a name did not match a star and its own ending");
    }
    // "*." matches exactly the names without a dot once trailing dots are gone.
    std::wstring_view bare(name);
    while (!bare.empty() && bare.back() == L'.') bare.remove_suffix(1);
    const bool noExtension = !bare.empty() && bare.find(L'.') == std::wstring_view::npos;
    if (MatchesFileMask(name, L"*.") != noExtension) FuzzFail("\"*.\" disagreed about an extension");
    return 0;
}
