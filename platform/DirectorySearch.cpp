#include "platform/DirectorySearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <new>
#include <vector>

#include "platform/CString.h"
#include "platform/RuntimeLibrary.h"

using kivrt::FoldCase;

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr long long kEpochDifference = 11644473600LL;
constexpr long long kIntervalsPerSecond = 10000000LL;

// '*' and '?' over the whole name; the usual backtracking to the last star keeps this linear in practice
// and quadratic at worst.
bool Glob(std::wstring_view name, std::wstring_view mask) {
    size_t n = 0, m = 0, starMask = std::wstring_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == L'*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == L'?' || FoldCase(mask[m]) == FoldCase(name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::wstring_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == L'*') ++m;
    return m == mask.size();
}

bool HasWildcard(std::wstring_view mask) {
    return mask.find_first_of(L"*?") != std::wstring_view::npos;
}

FILETIME FileTimeOf(const statx_timestamp& t) {
    return FileTimeFromUnix(static_cast<std::time_t>(t.tv_sec), static_cast<long>(t.tv_nsec));
}

// A name as the wide text that leads back to its bytes; false when too long for cFileName.
bool WideName(const char* bytes, std::wstring& wide) {
    wide = CString::FromFileSystem(bytes).Text();
    return wide.size() < MAX_PATH;
}

// A matching entry: its name as the file system spells it (relative to the search's open folder, or the
// whole path for a name looked up alone) and as wide text.
struct MatchingName {
    std::string bytes;
    std::wstring wide;
    std::wstring folded;  // wide in one letter case, the sort key made once per name
};

// Orders names as a case-insensitive file system lists them (ties by exact name).
bool ListedBefore(const MatchingName& a, const MatchingName& b) {
    if (const int order = a.folded.compare(b.folded); order != 0) return order < 0;
    return a.wide < b.wide;
}

std::wstring Folded(const std::wstring& text) {
    std::wstring folded(text);
    for (wchar_t& c : folded) c = FoldCase(c);
    return folded;
}

// One search: the matching names, read when it starts, and the place of the next one to report. A scanned
// folder stays open while the search runs, so that each entry's facts are read by its name alone.
struct DirectorySearch {
    std::string folder;  // as the file system names it, ending in '/'
    std::unique_ptr<DIR, int (*)(DIR*)> directory{nullptr, ::closedir};
    std::vector<MatchingName> names;
    size_t next = 0;

    // Reads the names that match mask.
    void Start(std::wstring_view mask) {
        if (mask.empty()) return;
        // A name without wildcards is one file, which the file system finds or not: where it tells letter
        // case apart, "a.bmp" is not "A.bmp" (a scan without regard to case would name a file that is not
        // there); where it folds case, it finds the file by either name. (A trailing dot, which the
        // system's names never end in, is left to the scan's rule for names without an extension.)
        if (!HasWildcard(mask) && mask.back() != L'.') {
            struct stat status {};
            std::string exact = folder + CString(mask).ToFileSystem();
            if (mask != L"." && mask != L".." && ::stat(exact.c_str(), &status) == 0)
                names.push_back({std::move(exact), std::wstring(mask), {}});
            return;
        }
        directory.reset(::opendir(folder.c_str()));
        if (!directory) return;
        std::wstring wide;
        while (const dirent* entry = ::readdir(directory.get())) {
            const std::string_view bytes(entry->d_name);
            if (bytes == "." || bytes == "..") continue;
            if (WideName(entry->d_name, wide) && MatchesFileMask(wide, mask))
                names.push_back({std::string(bytes), wide, Folded(wide)});
        }
        std::sort(names.begin(), names.end(), ListedBefore);
    }

    // Fills data with the next entry that still exists; false at the end.
    bool Report(WIN32_FIND_DATAW& data) {
        const int at = directory ? ::dirfd(directory.get()) : AT_FDCWD;
        while (next < names.size()) {
            const MatchingName& name = names[next++];
            if (DescribeFile(at, name.bytes, name.wide, data)) return true;
        }
        return false;
    }
};

DirectorySearch* SearchOf(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : static_cast<DirectorySearch*>(handle);
}

}  // namespace

bool MatchesFileMask(std::wstring_view name, std::wstring_view mask) {
    if (name.empty() || mask.empty()) return false;
    if (mask == L"*" || mask == L"*.*") return true;
    if (mask.back() == L'.') {
        std::wstring_view bare = name;
        while (!bare.empty() && bare.back() == L'.') bare.remove_suffix(1);
        if (bare.empty() || bare.find(L'.') != std::wstring_view::npos) return false;
        return Glob(bare, mask.substr(0, mask.size() - 1));
    }
    if (Glob(name, mask)) return true;
    return mask.ends_with(L".*") && name.find(L'.') == std::wstring_view::npos &&
           Glob(name, mask.substr(0, mask.size() - 2));
}

FILETIME FileTimeFromUnix(std::time_t seconds, long nanoseconds) {
    const long long since1601 = static_cast<long long>(seconds) + kEpochDifference;
    if (since1601 < 0) return FILETIME{0, 0};
    const auto intervals =
        static_cast<ULONGLONG>(since1601) * kIntervalsPerSecond + static_cast<ULONGLONG>(nanoseconds / 100);
    return FILETIME{static_cast<DWORD>(intervals), static_cast<DWORD>(intervals >> 32)};
}

std::time_t UnixSecondsFromFileTime(FILETIME time) {
    const ULONGLONG intervals = (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    return static_cast<std::time_t>(static_cast<long long>(intervals / kIntervalsPerSecond) -
                                    kEpochDifference);
}

bool DescribeFile(int at, const std::string& path, std::wstring_view name, WIN32_FIND_DATAW& data) {
    struct statx facts {};
    if (::statx(at, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &facts) != 0)
        return false;
    const bool folder = S_ISDIR(facts.stx_mode);
    if (!folder && !S_ISREG(facts.stx_mode)) return false;
    if (name.size() >= MAX_PATH) return false;

    data = WIN32_FIND_DATAW{};
    DWORD attributes = 0;
    if (folder) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    // A folder's write permission says who may add files, not that the folder is read-only.
    if (!folder && !(facts.stx_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    if (name.starts_with(L'.')) attributes |= FILE_ATTRIBUTE_HIDDEN;
    data.dwFileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;

    const ULONGLONG size = folder ? 0 : facts.stx_size;
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    data.ftLastWriteTime = FileTimeOf(facts.stx_mtime);
    data.ftLastAccessTime = FileTimeOf(facts.stx_atime);
    data.ftCreationTime = (facts.stx_mask & STATX_BTIME) ? FileTimeOf(facts.stx_btime) : data.ftLastWriteTime;
    name.copy(data.cFileName, name.size());
    return true;
}

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
    if (!pattern || !data) return INVALID_HANDLE_VALUE;
    std::wstring path(pattern);
    std::replace(path.begin(), path.end(), L'\\', L'/');
    const size_t slash = path.rfind(L'/');
    const std::wstring_view mask =
        slash == std::wstring::npos ? std::wstring_view(path) : std::wstring_view(path).substr(slash + 1);
    std::string folder =
        slash == std::wstring::npos ? "./" : CString(path.substr(0, slash + 1)).ToFileSystem();

    auto search = std::unique_ptr<DirectorySearch>(new (std::nothrow) DirectorySearch{std::move(folder), {nullptr, ::closedir}, {}, 0});
    if (!search) return INVALID_HANDLE_VALUE;
    try {
        search->Start(mask);
    } catch (const std::bad_alloc&) {
        return INVALID_HANDLE_VALUE;
    }
    if (!search->Report(*data)) return INVALID_HANDLE_VALUE;
    return search.release();
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* data) {
    DirectorySearch* search = SearchOf(handle);
    return search && data && search->Report(*data) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE handle) {
    DirectorySearch* search = SearchOf(handle);
    if (!search) return FALSE;
    delete search;
    return TRUE;
}
