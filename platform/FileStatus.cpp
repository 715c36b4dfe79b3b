#include "platform/FileStatus.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/DirectorySearch.h"
#include "platform/File.h"

namespace {

CTime TimeOf(FILETIME time) {
    return CTime(UnixSecondsFromFileTime(time));
}

CString AbsolutePath(const CString& path) {
    if (path.Text().starts_with(L'/')) return path;
    const std::unique_ptr<char, void (*)(void*)> here(::getcwd(nullptr, 0), std::free);
    if (!here) return path;
    return CString::FromFileSystem(here.get()) + CString(L"/") + path;
}

[[noreturn]] void ThrowFor(int error, const CString& path) {
    throw CFileException(CFileException::CauseFromErrno(error), error, path);
}

}  // namespace

BOOL CFile::GetStatus(LPCWSTR fileName, CFileStatus& status) {
    const CString path(fileName);
    const std::wstring& text = path.Text();
    const size_t slash = text.find_last_of(L'/');
    const std::wstring_view name =
        std::wstring_view(text).substr(slash == std::wstring::npos ? 0 : slash + 1);
    WIN32_FIND_DATAW data;
    if (path.IsEmpty() || !DescribeFile(AT_FDCWD, path.ToFileSystem(), name, data)) return FALSE;
    status.m_ctime = TimeOf(data.ftCreationTime);
    status.m_mtime = TimeOf(data.ftLastWriteTime);
    status.m_atime = TimeOf(data.ftLastAccessTime);
    status.m_size = (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    status.m_attribute = static_cast<BYTE>(data.dwFileAttributes & ~FILE_ATTRIBUTE_NORMAL);
    status.m_szFullName = AbsolutePath(path);
    return TRUE;
}

BOOL CFile::NameExists(LPCWSTR fileName) {
    struct stat facts {};
    return ::lstat(CString(fileName).ToFileSystem().c_str(), &facts) == 0;
}

BOOL CFile::IsSameFile(LPCWSTR a, LPCWSTR b) {
    struct stat first {
    }, second{};
    return ::stat(CString(a).ToFileSystem().c_str(), &first) == 0 &&
           ::stat(CString(b).ToFileSystem().c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

void CFile::SetStatus(LPCWSTR fileName, const CFileStatus& status) {
    const CString path(fileName);
    const std::string utf8 = path.ToFileSystem();
    struct stat facts {};
    if (::lstat(utf8.c_str(), &facts) != 0) ThrowFor(errno, path);
    if (S_ISLNK(facts.st_mode)) return;
    const bool readOnly = status.m_attribute & CFile::readOnly;
    // Folders carry no read-only attribute (see DirectorySearch.h), so there is nothing to write.
    if (S_ISDIR(facts.st_mode) || readOnly == !(facts.st_mode & S_IWUSR)) return;
    const mode_t mode = facts.st_mode & 07777;
    const mode_t wanted = readOnly ? mode & ~mode_t{0222} : mode | S_IWUSR;
    // AT_SYMLINK_NOFOLLOW closes the window in which the name could be swapped for a link since lstat.
    if (::fchmodat(AT_FDCWD, utf8.c_str(), wanted, AT_SYMLINK_NOFOLLOW) == 0) return;
    const int error = errno;
    if (error == EOPNOTSUPP && ::lstat(utf8.c_str(), &facts) == 0 && S_ISLNK(facts.st_mode)) return;
    ThrowFor(error, path);
}
