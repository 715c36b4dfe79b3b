// Helpers of the non-reader tests: small bitmaps, memory archives, a folder's entries, work in a child
// process (to limit file sizes or give up root's rights), and other programs' output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "BmpBuilder.h"
#include "TestFiles.h"
#include "platform/Archive.h"

// Runs store against a memory archive and returns the bytes written.
template <class Store>
Bytes Stored(Store store) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    store(ar);
    ar.Close();
    const auto length = static_cast<size_t>(file.GetLength());
    BYTE* data = file.Detach();
    Bytes bytes(data, data + length);
    std::free(data);
    return bytes;
}

// A top-down 24-bit bitmap of 0xRRGGBB pixels, rows top to bottom.
inline Bytes Bmp24(int width, int height, const std::vector<std::uint32_t>& pixels) {
    std::vector<std::vector<std::uint32_t>> rows;
    for (int y = 0; y < height; ++y)
        rows.emplace_back(pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
    BmpFile file;
    file.width = width, file.height = -height, file.pixelData = StoredRows(rows, 24);
    return file.Build();
}

// A loading archive over a copy of bytes.
struct Loader {
    explicit Loader(Bytes source)
        : bytes(std::move(source)), file(bytes.data(), static_cast<UINT>(bytes.size())) {}
    Bytes bytes;
    CMemFile file;
    CArchive ar{&file, CArchive::load};
};

inline std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Every entry of a folder, hidden ones (a temporary file) included, sorted.
inline std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs body in a forked child: its exit status, or -1 when it did not exit normally.
inline int InChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The whole standard output of a shell command, and its exit status (-1 when it did not exit normally).
inline int Capture(const std::string& command, std::string& output) {
    output.clear();
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In a child process: gives up root (becomes nobody), so that permissions apply. False when it could not.
inline bool ActAsNobody() {
    constexpr uid_t kNobody = 65534;
    return geteuid() != 0 || (setgid(kNobody) == 0 && setuid(kNobody) == 0);
}
