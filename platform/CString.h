// Wide text as the class library holds it. Paths stay wide inside the module and become UTF-8 only where
// they meet the Linux file system.
#pragma once

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

    // The text as UTF-8, for the file system; characters that are not valid code points become U+FFFD.
    std::string ToUtf8() const;
    static CString FromUtf8(std::string_view utf8);

  private:
    std::wstring text_;
};
