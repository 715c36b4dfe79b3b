#include "platform/ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <string_view>
#include <vector>

namespace {

// The file a path finally names: a symbolic link is replaced through, not overwritten by a plain file.
// Links are followed one by one rather than with realpath, which fails for a link to a file not yet
// created: saving through such a link creates the file it names, as opening it for writing would.
std::string ResolveTarget(const std::string& path) {
    constexpr int kMostLinks = 40;  // the system's own limit on a chain of links
    std::string current = path;
    for (int hop = 0; hop < kMostLinks; ++hop) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
        char link[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), link, sizeof link);
        if (length <= 0 || length >= static_cast<ssize_t>(sizeof link)) return current;
        std::string next(link, static_cast<size_t>(length));
        const size_t slash = current.rfind('/');
        if (next[0] != '/' && slash != std::string::npos) next = current.substr(0, slash + 1) + next;
        current = std::move(next);
    }
    return current;
}

// Every extended attribute of the file at path onto the open file: user attributes, access-control lists
// (system.posix_acl_access), security labels. One that the file system or the process may not set is
// left behind, as the mode would be where it could not be set.
void CopyExtendedAttributes(const std::string& path, int descriptor) {
    const ssize_t listed = ::listxattr(path.c_str(), nullptr, 0);
    if (listed <= 0) return;
    std::vector<char> names(static_cast<size_t>(listed));
    const ssize_t length = ::listxattr(path.c_str(), names.data(), names.size());
    if (length <= 0) return;
    std::vector<char> value;
    for (size_t at = 0; at < static_cast<size_t>(length);) {
        const std::string_view name(&names[at]);  // each name ends with a zero byte
        at += name.size() + 1;
        const ssize_t size = ::getxattr(path.c_str(), name.data(), nullptr, 0);
        if (size < 0) continue;
        value.resize(static_cast<size_t>(size));
        const ssize_t got = ::getxattr(path.c_str(), name.data(), value.data(), value.size());
        if (got >= 0) (void)::fsetxattr(descriptor, name.data(), value.data(), static_cast<size_t>(got), 0);
    }
}

// What the new file keeps of the one it replaces.
void KeepAttributes(const std::string& target, const struct stat& existing, int descriptor) {
    // Owner and group first: changing them clears the set-user and set-group bits, which the mode then
    // restores. A user may give a file to none but themselves, but to any group of theirs.
    if (::fchown(descriptor, existing.st_uid, existing.st_gid) != 0)
        (void)::fchown(descriptor, static_cast<uid_t>(-1), existing.st_gid);
    CopyExtendedAttributes(target, descriptor);
    // After the access-control list, whose mask the group bits of the mode then agree with.
    (void)::fchmod(descriptor, existing.st_mode & 07777);
}

bool MayNotCreateIn(int error) {
    return error == EACCES || error == EPERM;
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    Discard();
}

bool ReplacementFile::Create(const CString& target, InPlace inPlace) {
    Discard();
    target_ = ResolveTarget(target.ToFileSystem());
    const size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (name.empty()) return false;

    struct stat existing {};
    const bool targetExists = ::stat(target_.c_str(), &existing) == 0;
    if (targetExists && !S_ISREG(existing.st_mode)) return false;  // never replace a folder or a device
    // A rename needs only the folder's permission; the file's own must still allow writing it, as opening
    // it for writing would (a read-only file, or another user's, is not replaced).
    if (targetExists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return false;
    const bool mayWriteInPlace = targetExists && inPlace == InPlace::allowed;
    // A rename would give the new content to this name only, and leave the other names with the old.
    if (mayWriteInPlace && existing.st_nlink > 1) return OpenInPlace();

    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate = folder + (slash == std::string::npos ? "/." : ".") + name + ".kivtmp" +
                                std::to_string(random() % 1000000000u);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            // A folder that takes no new file, holding a file that may be written: written as it is.
            return mayWriteInPlace && MayNotCreateIn(errno) && OpenInPlace();
        }
        if (targetExists) KeepAttributes(target_, existing, fd);
        temporary_ = std::move(candidate);
        descriptor_ = fd;
        file_.Attach(fd, CString::FromFileSystem(temporary_));
        return true;
    }
    return false;
}

bool ReplacementFile::OpenInPlace() {
    // Not truncated yet: a save that fails before its first byte leaves the file as it was.
    const int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    inPlace_ = true;
    descriptor_ = fd;
    file_.Attach(fd, CString::FromFileSystem(target_));
    return true;
}

std::FILE* ReplacementFile::StdioStream() {
    if (!stream_ && descriptor_ >= 0) {
        const int copy = ::dup(descriptor_);
        if (copy < 0) return nullptr;
        stream_ = ::fdopen(copy, "wb");
        if (!stream_) ::close(copy);
    }
    return stream_;
}

bool ReplacementFile::CloseStream() {
    if (!stream_) return true;
    const bool written = std::fflush(stream_) == 0 && !std::ferror(stream_);
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return written && closed;
}

bool ReplacementFile::Commit() {
    if (descriptor_ < 0) return false;
    if (!CloseStream()) {
        Discard();
        return false;
    }
    // In place, the old content may run on past the new; the stream shares the file's position.
    if (inPlace_) {
        const off_t end = ::lseek(descriptor_, 0, SEEK_CUR);
        if (end < 0 || ::ftruncate(descriptor_, end) != 0) {
            Discard();
            return false;
        }
    }
    try {
        file_.Close();
    } catch (const CFileException&) {
        Discard();
        return false;
    }
    descriptor_ = -1;
    if (inPlace_) {
        inPlace_ = false;
        return true;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacementFile::Discard() {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
    // In place, the file is left as far as it was written, as a plain save leaves it.
    if (inPlace_ && descriptor_ >= 0) {
        const off_t end = ::lseek(descriptor_, 0, SEEK_CUR);
        if (end > 0) (void)::ftruncate(descriptor_, end);
    }
    inPlace_ = false;
    descriptor_ = -1;
    file_.Abort();
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}
