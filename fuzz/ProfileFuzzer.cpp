// Arbitrary text as a private-profile (.ini) file: the document keeps it byte for byte, answers lookups,
// and a value it is given can be found again after writing and reading back.
//
// The whole input is the text. The names looked up are a fixed pair the module itself reads and the
// first few section and key names the text contains, so mutations of the text steer the lookups. The
// value set is the input's last line.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/PrivateProfile.h"

namespace {

constexpr std::size_t kMaxNamesTaken = 4;

std::string_view Trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t stop = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, stop - start));
        start = stop + 1;
    }
    return lines;
}

// Names a caller may pass and expect to find again after setting: not blank, and without the characters
// that make a line a section header, a comment, or a key with a different name.
bool SettableName(std::string_view name) {
    const std::string_view core = Trimmed(name);
    return !core.empty() && core.front() != ';' && core.front() != '#' &&
           name.find_first_of("[]=\r\n") == std::string_view::npos;
}

void FindEverywhere(const ProfileDocument& document, const std::vector<std::string>& sections,
                    const std::vector<std::string>& keys) {
    for (const std::string& section : sections)
        for (const std::string& key : keys) (void)document.FindValue(section, key);
}

// The integer reader over the same text, read from the input's memory file.
void ReadIntegers(const FuzzInputFile& input, const std::vector<std::string>& sections,
                  const std::vector<std::string>& keys) {
    const CString path = input.PathWithoutExtension();
    for (const std::string& section : sections)
        for (const std::string& key : keys)
            (void)GetPrivateProfileIntW(CString::FromUtf8(section), CString::FromUtf8(key), 1, path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input;
    input.Write(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const ProfileDocument document = ProfileDocument::Parse(text);
    if (document.Serialize() != text) FuzzFail("parsing and writing back changed the text");

    std::vector<std::string> sections{"COMMON_SETUP"};
    std::vector<std::string> keys{"OpenPicDlg"};
    const std::vector<std::string_view> lines = Lines(text);
    for (const std::string_view line : lines) {
        const std::string_view core = Trimmed(line);
        if (core.size() >= 2 && core.front() == '[' && core.find(']') != std::string_view::npos) {
            if (sections.size() < kMaxNamesTaken) sections.emplace_back(core.substr(1, core.find(']') - 1));
        } else if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
            if (keys.size() < kMaxNamesTaken) keys.emplace_back(line.substr(0, equals));
        }
    }
    FindEverywhere(document, sections, keys);
    ReadIntegers(input, sections, keys);

    // Setting a value, then writing and reading the document back, finds the value (trimmed).
    std::string value(lines.empty() ? std::string_view() : lines.back());
    std::erase_if(value, [](char c) { return c == '\r' || c == '\n'; });
    for (const std::string& section : sections) {
        for (const std::string& key : keys) {
            if (!SettableName(section) || !SettableName(key)) continue;
            ProfileDocument changed = ProfileDocument::Parse(text);
            changed.SetValue(section, key, value);
            const std::optional<std::string> found =
                ProfileDocument::Parse(changed.Serialize()).FindValue(section, key);
            if (!found || *found != Trimmed(value)) FuzzFail("a value set was not found after writing back");
        }
    }

    // Removal must keep the document well formed; what remains is read back once more.
    ProfileDocument pruned = ProfileDocument::Parse(text);
    pruned.RemoveKey(sections.back(), keys.back());
    pruned.RemoveSection(sections.front());
    FindEverywhere(ProfileDocument::Parse(pruned.Serialize()), sections, keys);
    return 0;
}
