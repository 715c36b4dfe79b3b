// A runtime-library file that closes itself, and reads that report whether they got every byte.
#pragma once

#include <cstdio>
#include <memory>

#include "../platform/CString.h"
#include "../platform/RuntimeLibrary.h"

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file for binary reading; null when it cannot be opened.
inline StdioFile OpenForReading(const CString& path) { return StdioFile(_wfopen(path, L"rb")); }

// True when all count bytes were read.
inline bool ReadExact(std::FILE* file, void* buffer, size_t count) {
    return std::fread(buffer, 1, count, file) == count;
}

// The file's length in bytes, or -1 when it cannot be told; the position is kept.
inline long long FileLength(std::FILE* file) {
    const long at = std::ftell(file);
    if (at < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(file);
    return std::fseek(file, at, SEEK_SET) == 0 ? length : -1;
}
