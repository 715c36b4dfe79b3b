#include "platform/CString.h"

#include <cwctype>

#include "platform/RuntimeLibrary.h"

using kivrt::_wcsicmp;

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
// FromFileSystem's escapes: the byte b as U+DC00 + b. Only bytes from 0x80 are ever invalid.
constexpr char32_t kFirstEscape = 0xDC80;
constexpr char32_t kLastEscape = 0xDCFF;

bool IsEscape(char32_t c) {
    return c >= kFirstEscape && c <= kLastEscape;
}

bool IsCharacter(char32_t c) {
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (!IsCharacter(c)) c = kReplacementCharacter;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes UTF-8; each byte that starts no valid sequence becomes invalid(byte).
template <class Invalid>
std::wstring DecodeUtf8(std::string_view utf8, Invalid invalid) {
    std::wstring out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
        char32_t c = extra == 0   ? lead
                     : extra == 1 ? (lead & 0x1F)
                     : extra == 2 ? (lead & 0x0F)
                                  : (lead & 0x07);
        bool valid = extra >= 0 && i + static_cast<size_t>(extra) < utf8.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms (an overlong '/' must not become a separator), surrogates and values past
        // U+10FFFF are not UTF-8 either.
        constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (valid && (c < kSmallest[extra] || !IsCharacter(c))) valid = false;
        if (!valid) {
            out += static_cast<wchar_t>(invalid(lead));
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string CString::ToUtf8() const {
    std::string out;
    out.reserve(text_.size());
    for (wchar_t c : text_) AppendUtf8(out, static_cast<char32_t>(c));
    return out;
}

CString CString::FromUtf8(std::string_view utf8) {
    return CString(DecodeUtf8(utf8, [](unsigned char) { return kReplacementCharacter; }));
}

std::string CString::ToFileSystem() const {
    std::string out;
    out.reserve(text_.size());
    for (wchar_t unit : text_) {
        const auto c = static_cast<char32_t>(unit);
        if (IsEscape(c))
            out += static_cast<char>(c - 0xDC00);
        else
            AppendUtf8(out, c);
    }
    return out;
}

CString CString::FromFileSystem(std::string_view bytes) {
    return CString(DecodeUtf8(bytes, [](unsigned char byte) { return char32_t{0xDC00} + byte; }));
}

bool CString::HasUndecodableUnits() const {
    for (wchar_t c : text_)
        if (!IsCharacter(static_cast<char32_t>(c))) return true;
    return false;
}

CString CString::DisplayText() const {
    std::wstring out = text_;
    for (wchar_t& c : out)
        if (!IsCharacter(static_cast<char32_t>(c))) c = static_cast<wchar_t>(kReplacementCharacter);
    return CString(std::move(out));
}

std::string PercentEncode(std::string_view bytes) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (unreserved) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
}

std::optional<std::string> PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low < 0) return std::nullopt;
        out += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return out;
}

int CString::CompareNoCase(LPCWSTR other) const {
    return _wcsicmp(text_.c_str(), other ? other : L"");
}

CString& CString::MakeUpper() {
    for (wchar_t& c : text_) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return *this;
}

CString& CString::Trim() {
    const auto isSpace = [](wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; };
    size_t end = text_.size();
    while (end > 0 && isSpace(text_[end - 1])) --end;
    size_t begin = 0;
    while (begin < end && isSpace(text_[begin])) ++begin;
    text_ = text_.substr(begin, end - begin);
    return *this;
}
