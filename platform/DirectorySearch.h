// The system's directory search over a Linux folder: FindFirstFileW, FindNextFileW and FindClose.
//
// A pattern is "<folder>/<mask>"; '/' and '\' both separate, and a pattern without a separator searches
// the current folder. The mask's last component may hold '*' and '?' and is compared without regard to
// letter case (MatchesFileMask), so that "*.bmp" finds "SEA.BMP"; a mask without wildcards names one file
// and is looked up as the file system spells names (exactly, unless it folds case). What is reported, and
// why:
//  - "." and ".." are never reported: the catalogue searches for picture names and existence, and would
//    only have to skip them.
//  - Symbolic links are followed: a link to a file is listed with its target's size, times and attributes
//    (a link to a folder as a folder), so that a linked picture is a picture. A dangling link, and anything
//    that is neither a regular file nor a folder (fifos, sockets, devices, which would block or make no
//    sense as pictures), is skipped.
//  - Names that are not valid UTF-8 are reported with their other bytes escaped (CString::FromFileSystem),
//    so that the wide path leads back to the same bytes. Names too long for cFileName are skipped.
//  - Entries come in the order of their names compared without regard to case (ties by exact name), as a
//    case-insensitive file system lists them, so that a listing is stable while the folder is unchanged and
//    also when a file is renamed only by letter case.
//  - The names are read when the search starts; each entry's facts are read when it is reported.
// Every handle that FindFirstFileW returns must be given to FindClose, which frees it.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"

using HANDLE = void*;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

constexpr int MAX_PATH = 260;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;   // a file without the owner's write permission
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;     // a name that starts with a dot
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;  // a folder (or a link to one)
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;     // a file with none of the other attributes

// 100-nanosecond intervals since 1601-01-01 UTC, split into two 32-bit words.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;  // the birth time where the file system keeps one, else the last-write time
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;  // 0 for folders
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];  // always empty: Linux has no short names
};

// Starts a search; INVALID_HANDLE_VALUE when the folder cannot be read or nothing matches.
KIV_RUNTIME_API HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data);
// The next entry; FALSE when there is none.
KIV_RUNTIME_API BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data);
KIV_RUNTIME_API BOOL FindClose(HANDLE search);

// Whether a file name matches a search mask, without regard to letter case. '*' stands for any run of
// characters and '?' for one. As the system's search does: "*" and "*.*" match every name; a mask that ends
// in "." matches names without an extension (no dot, apart from trailing dots); a mask that ends in ".*"
// also matches the name without a dot ("abc.*" matches "abc"). An empty name or mask matches nothing.
KIV_RUNTIME_API bool MatchesFileMask(std::wstring_view name, std::wstring_view mask);

// A Linux time as a FILETIME; times before 1601 become 0.
FILETIME FileTimeFromUnix(std::time_t seconds, long nanoseconds);
// The whole seconds since 1970 of a FILETIME (rounded down).
std::time_t UnixSecondsFromFileTime(FILETIME time);

// The directory search's facts of one path (symbolic links followed; a relative path starts at the folder
// open as at, or at the current folder for AT_FDCWD) under the given name: false for a missing path, a
// dangling link, or something that is neither a file nor a folder.
bool DescribeFile(int at, const std::string& path, std::wstring_view name, WIN32_FIND_DATAW& data);
