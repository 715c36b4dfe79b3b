#include "platform/ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

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

}  // namespace

ReplacementFile::~ReplacementFile() {
    Discard();
}

bool ReplacementFile::Create(const CString& target) {
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

    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate = folder + (slash == std::string::npos ? "/." : ".") + name + ".kivtmp" +
                                std::to_string(random() % 1000000000u);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        // The saved file keeps the permissions of the one it replaces.
        if (targetExists) (void)::fchmod(fd, existing.st_mode & 07777);
        temporary_ = std::move(candidate);
        descriptor_ = fd;
        file_.Attach(fd, CString::FromFileSystem(temporary_));
        return true;
    }
    return false;
}

std::FILE* ReplacementFile::StdioStream() {
    if (!stream_ && !temporary_.empty()) {
        const int copy = ::dup(descriptor_);
        if (copy < 0) return nullptr;
        stream_ = ::fdopen(copy, "wb");
        if (!stream_) ::close(copy);
    }
    return stream_;
}

bool ReplacementFile::Commit() {
    if (temporary_.empty()) return false;
    if (stream_) {
        const bool written = std::fflush(stream_) == 0 && !std::ferror(stream_);
        const bool closed = std::fclose(stream_) == 0;
        stream_ = nullptr;
        if (!written || !closed) {
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
    descriptor_ = -1;
    file_.Abort();
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}
