// Byte-at-a-time reading over a CFile without a system call per byte, for coded streams.
#pragma once

#include <vector>

#include "../platform/File.h"

class BufferedReader {
public:
    explicit BufferedReader(CFile& file, UINT bufferBytes = 64 * 1024) : file_(file), buffer_(bufferBytes) {}

    // The next byte, or -1 at the end of the file. File errors throw CFileException.
    int NextByte() {
        if (next_ == end_ && !Refill()) return -1;
        return buffer_[next_++];
    }

private:
    bool Refill() {
        end_ = file_.Read(buffer_.data(), static_cast<UINT>(buffer_.size()));
        next_ = 0;
        return end_ > 0;
    }

    CFile& file_;
    std::vector<BYTE> buffer_;
    UINT next_ = 0;
    UINT end_ = 0;
};
