#include "readers/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

// The window a file is read through. Reads of at least kDirectReadBytes that find the window empty go
// straight to their destination (whole rows of large pictures), skipping the copy.
constexpr size_t kWindowBytes = 64 * 1024;
constexpr size_t kDirectReadBytes = 8 * 1024;

}  // namespace

ByteSource::ByteSource(const BYTE* bytes, size_t size)
    : size_(bytes ? size : 0), begin_(bytes), next_(bytes), end_(bytes ? bytes + size : bytes) {}

ByteSource::~ByteSource() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

KivLoadStatus ByteSource::Open(const CString& path) {
    const std::string name = path.ToFileSystem();
    // Without O_NONBLOCK, opening a named pipe would wait for a writer; it is refused below as not a
    // regular file, and regular files read the same either way.
    descriptor_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat status {};
    if (descriptor_ < 0) {
        // Something that exists as a file but cannot be opened is unreadable; anything else is not there.
        return ::stat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode) ? KivLoadStatus::unreadable
                                                                             : KivLoadStatus::fileNotFound;
    }
    if (::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) return KivLoadStatus::fileNotFound;
    size_ = static_cast<ULONGLONG>(status.st_size);
    buffer_.reset(new (std::nothrow) BYTE[kWindowBytes]);
    if (!buffer_) return KivLoadStatus::outOfMemory;
    begin_ = next_ = end_ = buffer_.get();
    windowStart_ = 0;
    return KivLoadStatus::ok;
}

size_t ByteSource::ReadFile(BYTE* out, size_t count, ULONGLONG offset) {
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(descriptor_, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the end, or a failed read: either ends the data
        done += static_cast<size_t>(got);
    }
    return done;
}

bool ByteSource::Refill() {
    if (descriptor_ < 0) return false;  // memory is one window
    windowStart_ = Position();
    begin_ = next_ = buffer_.get();
    end_ = begin_ + ReadFile(buffer_.get(), kWindowBytes, windowStart_);
    return end_ != begin_;
}

size_t ByteSource::Read(void* out, size_t count) {
    BYTE* to = static_cast<BYTE*>(out);
    size_t done = std::min(count, static_cast<size_t>(end_ - next_));
    std::memcpy(to, next_, done);
    next_ += done;
    if (done == count || descriptor_ < 0) return done;
    if (count - done >= kDirectReadBytes) {
        const ULONGLONG at = Position();
        const size_t got = ReadFile(to + done, count - done, at);
        windowStart_ = at + got;
        begin_ = next_ = end_ = buffer_.get();
        return done + got;
    }
    while (done < count && Refill()) {
        const size_t piece = std::min(count - done, static_cast<size_t>(end_ - next_));
        std::memcpy(to + done, next_, piece);
        next_ += piece;
        done += piece;
    }
    return done;
}

size_t ByteSource::Take(const BYTE*& bytes, size_t count) {
    if (next_ == end_ && !Refill()) return 0;
    const size_t taken = std::min(count, static_cast<size_t>(end_ - next_));
    bytes = next_;
    next_ += taken;
    return taken;
}

bool ByteSource::Skip(ULONGLONG count) {
    const ULONGLONG at = Position();
    return Seek(count > ~0ull - at ? ~0ull : at + count);
}

bool ByteSource::Seek(ULONGLONG offset) {
    const bool inside = offset <= size_;
    if (!inside) offset = size_;
    if (offset >= windowStart_ && offset - windowStart_ <= static_cast<ULONGLONG>(end_ - begin_)) {
        next_ = begin_ + (offset - windowStart_);
    } else {
        windowStart_ = offset;
        begin_ = next_ = end_ = buffer_.get();
    }
    return inside;
}
