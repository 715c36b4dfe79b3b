#include "platform/PrivateProfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "platform/ReplacementFile.h"
#include "platform/RuntimeLibrary.h"

using kivrt::_wcsicmp;

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    return _wcsicmp(CString::FromUtf8(Trim(a)), CString::FromUtf8(Trim(b))) == 0;
}

// The name of a "[name]" line, or nothing when the line is not a section header.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return line.substr(1, close - 1);
}

bool IsComment(std::string_view line) {
    line = Trim(line);
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

std::string Narrow(LPCWSTR text) {
    return CString(text).ToUtf8();
}

// Reads a whole file; false with errno set when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return got == 0;
        }
        text.append(chunk, static_cast<size_t>(got));
    }
}

// Puts text in the file's place in one step; the file keeps its permissions and a link stays a link.
bool ReplaceFileContents(const std::string& path, const std::string& text) {
    if (text.size() > UINT_MAX) return false;
    ReplacementFile output;
    if (!output.Create(CString::FromFileSystem(path))) return false;
    try {
        output.File().Write(text.data(), static_cast<UINT>(text.size()));
    } catch (const CFileException&) {
        return false;
    }
    return output.Commit();
}

}  // namespace

ProfileDocument ProfileDocument::Parse(std::string_view text) {
    ProfileDocument document;
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        document.byteOrderMark_ = kByteOrderMark;
        text.remove_prefix(kByteOrderMark.size());
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t stop = text.find('\n', start);
        Line line;
        if (stop == std::string_view::npos) {
            line.text = text.substr(start);
            stop = text.size();
        } else {
            const bool crlf = stop > start && text[stop - 1] == '\r';
            line.text = text.substr(start, stop - start - (crlf ? 1 : 0));
            line.end = crlf ? "\r\n" : "\n";
        }
        document.lines_.push_back(std::move(line));
        start = stop + 1;
    }
    if (!document.lines_.empty() && !document.lines_.front().end.empty())
        document.lineEnd_ = document.lines_.front().end;
    return document;
}

std::string ProfileDocument::Serialize() const {
    std::string text = byteOrderMark_;
    for (const Line& line : lines_) text += line.text + line.end;
    return text;
}

std::optional<ProfileDocument::Range> ProfileDocument::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i].text);
        if (!name || !SameName(*name, section)) continue;
        size_t end = i + 1;
        while (end < lines_.size() && !SectionName(lines_[end].text)) ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> ProfileDocument::FindKeyLine(const Range& range, std::string_view key) const {
    for (size_t i = range.begin + 1; i < range.end; ++i) {
        const std::string_view line = lines_[i].text;
        const size_t equals = line.find('=');
        if (IsComment(line) || equals == std::string_view::npos) continue;
        if (SameName(line.substr(0, equals), key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> ProfileDocument::FindValue(std::string_view section, std::string_view key) const {
    const auto range = FindSection(section);
    if (!range) return std::nullopt;
    const auto line = FindKeyLine(*range, key);
    if (!line) return std::nullopt;
    const std::string_view text = lines_[*line].text;
    return std::string(Trim(text.substr(text.find('=') + 1)));
}

void ProfileDocument::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    std::string entry(Trim(key));
    entry.append(1, '=').append(value);
    auto range = FindSection(section);
    if (!range) {
        if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = lineEnd_;
        std::string header(1, '[');
        header.append(Trim(section)).push_back(']');
        lines_.push_back(NewLine(std::move(header)));
        lines_.push_back(NewLine(std::move(entry)));
        return;
    }
    if (const auto line = FindKeyLine(*range, key)) {
        lines_[*line].text = std::move(entry);
        return;
    }
    // A new key goes after the section's last non-blank line, so blank separators stay between sections.
    size_t at = range->end;
    while (at > range->begin + 1 && Trim(lines_[at - 1].text).empty()) --at;
    if (lines_[at - 1].end.empty()) lines_[at - 1].end = lineEnd_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), NewLine(std::move(entry)));
}

void ProfileDocument::RemoveKey(std::string_view section, std::string_view key) {
    const auto range = FindSection(section);
    if (!range) return;
    if (const auto line = FindKeyLine(*range, key))
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*line));
}

void ProfileDocument::RemoveSection(std::string_view section) {
    const auto range = FindSection(section);
    if (!range) return;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->begin),
                 lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
}

CString ResolveProfilePath(LPCWSTR fileName) {
    const std::wstring name(fileName ? fileName : L"");
    if (name.find_first_of(L"/\\") != std::wstring::npos) return CString(name);
    std::string folder;
    if (const char* configured = std::getenv("KIV_CONFIG_DIR"); configured && *configured) {
        folder = configured;
    } else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        folder = xdg;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home && *home ? home : ".") + "/.config";
    }
    return CString::FromFileSystem(folder + "/") + CString(name);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName) {
    std::string text;
    if (!section || !key || !ReadWholeFile(ResolveProfilePath(fileName).ToFileSystem(), text))
        return static_cast<UINT>(defaultValue);
    const auto value = ProfileDocument::Parse(text).FindValue(Narrow(section), Narrow(key));
    if (!value || value->empty()) return static_cast<UINT>(defaultValue);
    // The leading decimal number; text after it is ignored, as is a number too long for an int.
    size_t i = 0;
    const bool negative = (*value)[0] == '-';
    if ((*value)[0] == '-' || (*value)[0] == '+') i = 1;
    long long number = 0;
    for (; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i) {
        number = number * 10 + ((*value)[i] - '0');
        if (number > static_cast<long long>(UINT_MAX)) break;
    }
    return static_cast<UINT>(negative ? -number : number);
}

BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName) {
    if (!section) return FALSE;
    const std::string path = ResolveProfilePath(fileName).ToFileSystem();
    std::string text;
    if (!ReadWholeFile(path, text)) {
        if (errno != ENOENT) return FALSE;
        // The settings folder itself may not exist yet on a new account.
        const auto folder = std::filesystem::path(path).parent_path();
        std::error_code error;
        if (!folder.empty()) std::filesystem::create_directories(folder, error);
    }
    ProfileDocument document = ProfileDocument::Parse(text);
    if (!key)
        document.RemoveSection(Narrow(section));
    else if (!value)
        document.RemoveKey(Narrow(section), Narrow(key));
    else
        document.SetValue(Narrow(section), Narrow(key), Narrow(value));
    return ReplaceFileContents(path, document.Serialize()) ? TRUE : FALSE;
}
