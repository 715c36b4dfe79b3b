#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* CFileException::what() const noexcept {
    switch (m_cause) {
        case fileNotFound: return "file not found";
        case badPath: return "bad path";
        case accessDenied: return "access denied";
        case badSeek: return "bad seek";
        case diskFull: return "disk full";
        case endOfFile: return "end of file";
        case hardIO: return "input/output error";
        default: return "file error";
    }
}

CFileException::Cause CFileException::CauseFromErrno(int error) {
    switch (error) {
        case 0: return none;
        case ENOENT: return fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP: return badPath;
        case EMFILE:
        case ENFILE: return tooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return accessDenied;
        case ENOSPC:
        case EFBIG:
        case EDQUOT: return diskFull;
        case EINVAL:
        case ESPIPE: return badSeek;
        case EIO: return hardIO;
        default: return genericException;
    }
}

CFile::~CFile() { Abort(); }

BOOL CFile::Open(LPCWSTR fileName, UINT openFlags, CFileException* error) {
    Abort();
    const CString path(fileName);
    int flags = O_CLOEXEC;
    switch (openFlags & 0x3) {
        case modeWrite: flags |= O_WRONLY; break;
        case modeReadWrite: flags |= O_RDWR; break;
        default: flags |= O_RDONLY; break;
    }
    if (openFlags & modeCreate) flags |= (openFlags & modeNoTruncate) ? O_CREAT : O_CREAT | O_TRUNC;
    const int fd = ::open(path.ToFileSystem().c_str(), flags, 0666);
    if (fd < 0) {
        if (error) *error = CFileException(CFileException::CauseFromErrno(errno), errno, path);
        return FALSE;
    }
    // Reading a directory would fail later with a confusing error; refuse it at the door.
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        ::close(fd);
        if (error) *error = CFileException(CFileException::accessDenied, EISDIR, path);
        return FALSE;
    }
    Attach(fd, path);
    return TRUE;
}

void CFile::Attach(int descriptor, CString filePath) {
    Abort();
    descriptor_ = descriptor;
    filePath_ = std::move(filePath);
}

void CFile::ThrowLastError() const {
    const int error = errno;
    throw CFileException(CFileException::CauseFromErrno(error), error, filePath_);
}

UINT CFile::Read(void* buffer, UINT count) {
    if (descriptor_ < 0) throw CFileException(CFileException::genericException, EBADF, filePath_);
    auto* bytes = static_cast<BYTE*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t got = ::read(descriptor_, bytes + done, count - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowLastError();
        }
        if (got == 0) break;
        done += static_cast<UINT>(got);
    }
    return done;
}

void CFile::Write(const void* buffer, UINT count) {
    if (descriptor_ < 0) throw CFileException(CFileException::genericException, EBADF, filePath_);
    const auto* bytes = static_cast<const BYTE*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t put = ::write(descriptor_, bytes + done, count - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            ThrowLastError();
        }
        if (put == 0) throw CFileException(CFileException::diskFull, ENOSPC, filePath_);
        done += static_cast<UINT>(put);
    }
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
    const int whence = from == current ? SEEK_CUR : from == end ? SEEK_END : SEEK_SET;
    const off_t at = ::lseek(descriptor_, static_cast<off_t>(offset), whence);
    if (at < 0) throw CFileException(CFileException::badSeek, errno, filePath_);
    return static_cast<ULONGLONG>(at);
}

ULONGLONG CFile::GetLength() const {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) ThrowLastError();
    return static_cast<ULONGLONG>(status.st_size);
}

ULONGLONG CFile::GetPosition() const {
    const off_t at = ::lseek(descriptor_, 0, SEEK_CUR);
    if (at < 0) ThrowLastError();
    return static_cast<ULONGLONG>(at);
}

void CFile::Close() {
    if (descriptor_ < 0) return;
    const int fd = descriptor_;
    descriptor_ = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowLastError();
}

void CFile::Abort() {
    if (descriptor_ < 0) return;
    ::close(descriptor_);
    descriptor_ = -1;
}

void CFile::Remove(LPCWSTR fileName) {
    const CString path(fileName);
    if (::unlink(path.ToFileSystem().c_str()) != 0)
        throw CFileException(CFileException::CauseFromErrno(errno), errno, path);
}

void CFile::Rename(LPCWSTR oldName, LPCWSTR newName) {
    const CString from(oldName);
    if (::rename(from.ToFileSystem().c_str(), CString(newName).ToFileSystem().c_str()) != 0)
        throw CFileException(CFileException::CauseFromErrno(errno), errno, from);
}

CMemFile::~CMemFile() { Close(); }

void CMemFile::Attach(BYTE* buffer, UINT size, UINT growBytes) {
    Close();
    buffer_ = buffer;
    size_ = capacity_ = size;
    position_ = 0;
    growBytes_ = growBytes;
    ownsBuffer_ = false;
}

BYTE* CMemFile::Detach() {
    BYTE* buffer = buffer_;
    buffer_ = nullptr;
    size_ = capacity_ = position_ = 0;
    ownsBuffer_ = false;
    return buffer;
}

UINT CMemFile::Read(void* buffer, UINT count) {
    if (position_ >= size_) return 0;
    const ULONGLONG available = size_ - position_;
    const UINT n = available < count ? static_cast<UINT>(available) : count;
    std::memcpy(buffer, buffer_ + position_, n);
    position_ += n;
    return n;
}

void CMemFile::Grow(ULONGLONG needed) {
    if (needed <= capacity_) return;
    if (growBytes_ == 0 || (buffer_ && !ownsBuffer_)) throw CMemoryException();
    ULONGLONG capacity = capacity_ ? capacity_ : growBytes_;
    while (capacity < needed) capacity += capacity / 2 + growBytes_;
    auto* bigger = static_cast<BYTE*>(std::realloc(ownsBuffer_ ? buffer_ : nullptr, capacity));
    if (!bigger) throw CMemoryException();
    buffer_ = bigger;
    capacity_ = capacity;
    ownsBuffer_ = true;
}

void CMemFile::Write(const void* buffer, UINT count) {
    const ULONGLONG endAt = position_ + count;
    Grow(endAt);
    // A seek past the end leaves a gap that reads as zeros, as it does in a disk file.
    if (position_ > size_) std::memset(buffer_ + size_, 0, position_ - size_);
    if (count) std::memcpy(buffer_ + position_, buffer, count);
    position_ = endAt;
    if (endAt > size_) size_ = endAt;
}

ULONGLONG CMemFile::Seek(LONGLONG offset, UINT from) {
    const LONGLONG base = from == current ? static_cast<LONGLONG>(position_)
                          : from == end   ? static_cast<LONGLONG>(size_)
                                          : 0;
    if ((offset < 0 && -offset > base) || (offset > 0 && offset > INT64_MAX - base))
        throw CFileException(CFileException::badSeek, EINVAL);
    position_ = static_cast<ULONGLONG>(base + offset);
    return position_;
}

void CMemFile::Close() {
    if (ownsBuffer_) std::free(buffer_);
    buffer_ = nullptr;
    size_ = capacity_ = position_ = 0;
    ownsBuffer_ = false;
}
