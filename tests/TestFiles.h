// Helpers shared by the tests: scratch folders, files from bytes, and the reader tests' table runner.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "KivPicture.h"
#include "readers/PixelBuffer.h"

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The full path of a name inside the folder.
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Writes bytes to a file of the folder and returns its path as the module takes it.
    CString Write(const std::string& name, const Bytes& bytes) const;

  private:
    std::filesystem::path path_;
};

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);
// A path as the module takes it, whatever its bytes.
CString Wide(const std::string& bytes);

// Appends little-endian fields to a byte vector.
void PutU8(Bytes& out, unsigned value);
void PutU16(Bytes& out, unsigned value);
void PutU32(Bytes& out, std::uint32_t value);

// A pixel buffer from a reader, released at the end of the scope.
struct LoadedPicture {
    DWORD* pixels = nullptr;
    CRect rect;
    LoadedPicture() = default;
    LoadedPicture(const LoadedPicture&) = delete;
    LoadedPicture& operator=(const LoadedPicture&) = delete;
    ~LoadedPicture() { GlobalFree(pixels); }
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * rect.Width() + x]; }
};

// A reader's (or a reference decoder's) result as values: its status, rectangle and pixels (none on failure).
struct ReadResult {
    KivLoadStatus status = KivLoadStatus::ok;
    CRect rect;
    std::vector<DWORD> pixels;
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * rect.Width() + x]; }
};

// Reads a file with a reader's internal entry point, and checks that its exported entry point agrees and
// that a failure leaves the caller's rectangle alone.
ReadResult ReadWithBothEntries(const CString& path, DecodedPicture (*read)(const CString&),
                               DWORD* (*exported)(const CString&, CRect&));

// The folder of the tests' own data files.
std::string TestDataPath(const std::string& relative);

// The bytes' first `size` bytes, or all but their last -size.
Bytes Head(Bytes bytes, long size);

// A reader's two entry points.
struct Reader {
    DecodedPicture (*read)(const CString&);
    DWORD* (*exported)(const CString&, CRect&);
};

// Expects pixels to equal the reference's, naming the first that differs rather than printing them all.
void ExpectSamePixels(const std::vector<DWORD>& ours, const std::vector<DWORD>& reference,
                      const std::string& what);

// One row of a reader's table: a file's bytes, the status they must get and, when they load, the picture's
// size, its pixels, rows top to bottom (none: not checked), and its origin.
struct FileCase {
    const char* reason;
    Bytes file;
    KivLoadStatus status;
    int width = 0, height = 0;
    std::vector<DWORD> pixels = {};
    int left = 0, top = 0;  // the rectangle's origin
};

// Reads each case's file with both entry points of the reader and checks the outcome; and a missing file.
void ExpectCases(const std::vector<FileCase>& cases, Reader reader);

// stb_image's decoding of a file as pixel words; status ok when it decodes them (built in StbImage.cpp).
ReadResult DecodeWithStb(const Bytes& file);

// Statuses print as their text in test failures.
inline void PrintTo(KivLoadStatus status, std::ostream* out) {
    *out << KivLoadStatusText(status);
}
