// The one way the readers and the probe take bytes: a file, opened once per load, or bytes in memory (a
// module's bitmap resource), read through one buffer. Every read says how much it got; the end of the data
// and a failed read both end the data, so a short file and a broken one are handled on the same path.
#pragma once

#include <cstddef>
#include <memory>

#include "KivPictureBase.h"
#include "platform/CString.h"
#include "platform/WinTypes.h"

class ByteSource {
  public:
    ByteSource() = default;
    // Reads the size bytes at bytes, which must outlive the source; nothing is copied.
    ByteSource(const BYTE* bytes, size_t size);
    ~ByteSource();
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // Opens a regular file (or a link to one) for reading: ok, fileNotFound (nothing there, or not a
    // regular file) or unreadable (there, but it cannot be opened).
    KivLoadStatus Open(const CString& path);

    // Copies up to count bytes; returns how many there were.
    size_t Read(void* out, size_t count);
    bool ReadExact(void* out, size_t count) { return Read(out, count) == count; }
    // The next byte, or -1 at the end of the data.
    int NextByte() {
        if (next_ == end_ && !Refill()) return -1;
        return *next_++;
    }
    // Up to count bytes where they lie, valid until the next call; 0 at the end of the data.
    size_t Take(const BYTE*& bytes, size_t count);
    // The bytes buffered and not yet consumed (refilled when none are left), for decoders that scan runs
    // in place and then Advance past what they used; 0 at the end of the data.
    size_t Peek(const BYTE*& bytes) {
        if (next_ == end_ && !Refill()) return 0;
        bytes = next_;
        return static_cast<size_t>(end_ - next_);
    }
    // Consumes count bytes of the last Peek (at most what it returned).
    void Advance(size_t count) { next_ += count; }

    // Moves count bytes on; false (and at the end) when the data is shorter.
    bool Skip(ULONGLONG count);
    // Moves to an offset from the start; false (and at the end) past the end of the data.
    bool Seek(ULONGLONG offset);
    ULONGLONG Position() const { return windowStart_ + static_cast<ULONGLONG>(next_ - begin_); }
    // The data's length as it was when opened.
    ULONGLONG Size() const { return size_; }
    ULONGLONG Remaining() const { return Position() < size_ ? size_ - Position() : 0; }

  private:
    bool Refill();
    size_t ReadFile(BYTE* out, size_t count, ULONGLONG offset);

    int descriptor_ = -1;
    ULONGLONG size_ = 0;
    std::unique_ptr<BYTE[]> buffer_;  // a file's window; memory is its own window
    const BYTE* begin_ = nullptr;     // the window: [begin_, end_) holds the data from windowStart_
    const BYTE* next_ = nullptr;
    const BYTE* end_ = nullptr;
    ULONGLONG windowStart_ = 0;
};
