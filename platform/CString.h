// Wide text as the class library holds it. Paths stay wide inside the module and become bytes only where
// they meet the Linux file system, through ToFileSystem and FromFileSystem.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"

class KIV_RUNTIME_API CString {
  public:
    CString() = default;
    CString(LPCWSTR text) : text_(text ? text : L"") {}     // NOLINT(google-explicit-constructor)
    CString(std::wstring text) : text_(std::move(text)) {}  // NOLINT(google-explicit-constructor)
    CString(std::wstring_view text) : text_(text) {}        // NOLINT(google-explicit-constructor)

    operator LPCWSTR() const { return text_.c_str(); }  // NOLINT(google-explicit-constructor)
    LPCWSTR GetString() const { return text_.c_str(); }
    int GetLength() const { return static_cast<int>(text_.size()); }
    bool IsEmpty() const { return text_.empty(); }
    void Empty() { text_.clear(); }
    const std::wstring& Text() const { return text_; }

    CString& operator+=(const CString& more) {
        text_ += more.text_;
        return *this;
    }
    friend CString operator+(CString a, const CString& b) { return a += b; }
    friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }

    // Compares without regard to letter case: <0, 0 or >0, as _wcsicmp.
    int CompareNoCase(LPCWSTR other) const;
    CString& MakeUpper();
    // Removes white space from both ends.
    CString& Trim();

    // The text as UTF-8, for people and documents: units that are not Unicode characters (the escaped
    // bytes below among them) become U+FFFD.
    std::string ToUtf8() const;
    // Invalid UTF-8 becomes U+FFFD, one per byte.
    static CString FromUtf8(std::string_view utf8);

    // A Linux name is bytes, mostly but not always UTF-8 (old archives, cameras, Windows shares). Valid
    // UTF-8 is decoded as it stands (no normalisation); every other byte b, always 0x80 or more, becomes
    // the unit U+DC00 + b, a lone low surrogate that decoded text never holds. ToFileSystem writes those
    // units back as their bytes, so any bytes survive FromFileSystem then ToFileSystem unchanged. Every
    // path that reaches the file system goes through this pair.
    std::string ToFileSystem() const;
    static CString FromFileSystem(std::string_view bytes);
    // Whether the text holds units that UTF-8 cannot carry (escaped bytes).
    bool HasUndecodableUnits() const;
    // The text as shown: every such unit becomes U+FFFD; the path itself keeps them.
    CString DisplayText() const;

  private:
    std::wstring text_;
};

// Bytes as ASCII text, for forms that must be valid UTF-8 (XML, JSON): every byte but A-Z a-z 0-9
// - . _ ~ and / as %XX (RFC 3986 percent-encoding).
KIV_RUNTIME_API std::string PercentEncode(std::string_view bytes);
// The bytes again; nothing when a '%' is not followed by two hexadecimal digits.
KIV_RUNTIME_API std::optional<std::string> PercentDecode(std::string_view text);
