// Private profile (.ini) files. A file named without a folder lives in the settings folder:
// $KIV_CONFIG_DIR when set, else $XDG_CONFIG_HOME, else ~/.config.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CString.h"
#include "platform/WinTypes.h"

// The integer value of a key: the leading decimal number of its text (an optional sign, then digits;
// 0 when there are none), or defaultValue when the file, section or key is missing or the value is empty.
KIV_RUNTIME_API UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName);

// Sets a key's text, creating the file, section or key as needed. A null value removes the key, a null
// key the whole section. Every other line of the file (other sections, keys, comments, blank lines) is
// kept as it was. The file is replaced in one step, so a failed write leaves the old file intact.
KIV_RUNTIME_API BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName);

// Where a profile file name resolves: unchanged when it names a folder, else inside the settings folder.
KIV_RUNTIME_API CString ResolveProfilePath(LPCWSTR fileName);

// The lines of one profile file, kept byte for byte so that writing back changes only what was set.
class KIV_RUNTIME_API ProfileDocument {
  public:
    static ProfileDocument Parse(std::string_view text);
    std::string Serialize() const;

    // The trimmed text after '=' of the first matching key of the first matching section (names compared
    // without regard to case and surrounding blanks); nothing when the section or key is missing.
    std::optional<std::string> FindValue(std::string_view section, std::string_view key) const;
    void SetValue(std::string_view section, std::string_view key, std::string_view value);
    void RemoveKey(std::string_view section, std::string_view key);
    void RemoveSection(std::string_view section);

  private:
    struct Range {
        size_t begin;  // the section's header line
        size_t end;    // one past its last line
    };
    std::optional<Range> FindSection(std::string_view section) const;
    std::optional<size_t> FindKeyLine(const Range& range, std::string_view key) const;

    struct Line {
        std::string text;
        std::string end;  // "\n", "\r\n", or empty for a last line without one
    };
    Line NewLine(std::string text) const { return Line{std::move(text), lineEnd_}; }

    std::string byteOrderMark_;  // kept in front of the first line when the file starts with one
    std::vector<Line> lines_;
    std::string lineEnd_ = "\n";  // the file's first line end, used for lines we add
};
