// What the fuzz targets share: the input as a named file, and the checks every handed-over picture must pass.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KivPicture.h"
#include "readers/PixelBuffer.h"

// Stops the run with a message; libFuzzer keeps the input that led here.
[[noreturn]] inline void FuzzFail(const char* why) {
    std::fprintf(stderr, "fuzz check failed: %s\n", why);
    std::abort();
}

// The input held in a memory file that the readers open by name, through links in a private folder:
// one named with the target format's extension (the dispatch then picks that reader) and one without an
// extension (the dispatch then tries every reader). Nothing touches the disk per input. One per process.
class FuzzInputFile {
  public:
    explicit FuzzInputFile(const char* extension = ".bmp") {
        descriptor_ = memfd_create("kivpicture-fuzz-input", MFD_CLOEXEC);
        if (descriptor_ < 0) FuzzFail("memfd_create is not available");
        char folder[] = "/tmp/kivpicture-fuzz-XXXXXX";
        if (!mkdtemp(folder)) FuzzFail("cannot make a folder in /tmp");
        folder_ = folder;
        const std::string target = "/proc/self/fd/" + std::to_string(descriptor_);
        withExtension_ = folder_ + "/input" + extension;
        withoutExtension_ = folder_ + "/input";
        if (symlink(target.c_str(), withExtension_.c_str()) != 0 ||
            symlink(target.c_str(), withoutExtension_.c_str()) != 0)
            FuzzFail("cannot link the input file");
    }
    ~FuzzInputFile() {
        unlink(withExtension_.c_str());
        unlink(withoutExtension_.c_str());
        rmdir(folder_.c_str());
        close(descriptor_);
    }
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    void Write(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(descriptor_, 0) != 0) FuzzFail("cannot empty the input file");
        for (std::size_t done = 0; done < size;) {
            const ssize_t put = pwrite(descriptor_, data + done, size - done, static_cast<off_t>(done));
            if (put <= 0) FuzzFail("cannot write the input file");
            done += static_cast<std::size_t>(put);
        }
    }
    CString PathWithExtension() const { return CString::FromUtf8(withExtension_); }
    const std::string& Utf8PathWithExtension() const { return withExtension_; }
    CString PathWithoutExtension() const { return CString::FromUtf8(withoutExtension_); }

  private:
    int descriptor_ = -1;
    std::string folder_;
    std::string withExtension_;
    std::string withoutExtension_;
};

// Pictures up to this many pixels are read whole after a decode; of larger ones, as many pixels are read
// from their two ends (a row of a picture that is allowed to be huge may alone hold a gigabyte).
constexpr std::size_t kReadPixels = std::size_t{1} << 20;

// Where a handed-over picture's rectangle may lie: bitmaps always at (0, 0); through the dispatch, other
// formats may carry a position of their own.
enum class PictureOrigin { zero, any };

// A picture handed over must have as many pixels as its rectangle says. Reading the pixels lets
// AddressSanitizer catch a buffer smaller than its rectangle. Frees the pixels.
inline void CheckHandedOverPicture(DWORD* pixels, const CRect& rect, PictureOrigin origin) {
    if (!pixels) return;
    if (rect.Width() <= 0 || rect.Height() <= 0)
        FuzzFail("a picture was handed over with an empty rectangle");
    if (origin == PictureOrigin::zero && (rect.left != 0 || rect.top != 0))
        FuzzFail("a bitmap was handed over with a displaced rectangle");
    const std::size_t count =
        static_cast<std::size_t>(rect.Width()) * static_cast<std::size_t>(rect.Height());
    const std::size_t ends = count <= kReadPixels ? count : kReadPixels / 2;
    volatile DWORD sink = 0;
    for (std::size_t i = 0; i < ends; ++i) sink = sink ^ pixels[i] ^ pixels[count - 1 - i];
    GlobalFree(pixels);
}

// Loads the file again through the dispatch, which must give the reader's status, rectangle and pixels.
inline void CheckDispatchAgrees(const CString& path, const DecodedPicture& picture) {
    CRect rect;
    KivLoadStatus status = KivLoadStatus::ok;
    DWORD* pixels = KivPictureLoadPicFileEx(path, rect, &status);
    if (status != picture.status) FuzzFail("the dispatch disagrees with the reader");
    if (pixels && rect != picture.rect) FuzzFail("two decodes of one file differ in size");
    if (pixels && !std::equal(pixels, pixels + static_cast<std::size_t>(rect.Width()) * rect.Height(),
                              picture.pixels.get()))
        FuzzFail("two decodes of one file differ");
    GlobalFree(pixels);
}

// Whether two media records hold the same values and thumbnail pixels.
inline bool SameMediaRecord(const CKivClipMediaObj& a, const CKivClipMediaObj& b) {
    const CSize icon = a.m_Icon.GetSize();
    const size_t iconBytes = static_cast<size_t>(icon.cx) * static_cast<size_t>(icon.cy) * 3;
    return a.m_strMediaFile == b.m_strMediaFile && a.m_strShowName == b.m_strShowName &&
           a.m_szMedia == b.m_szMedia && a.m_wBitCount == b.m_wBitCount && a.CompareMedia(&b) &&
           icon == b.m_Icon.GetSize() && a.m_Icon.IsEmpty() == b.m_Icon.IsEmpty() &&
           (a.m_Icon.IsEmpty() || std::memcmp(a.m_Icon.GetBits(), b.m_Icon.GetBits(), iconBytes) == 0);
}

// Whether two record lists hold the same records (or nulls) in the same order.
inline bool SameMediaList(const CKivObList& a, const CKivObList& b) {
    if (a.GetCount() != b.GetCount()) return false;
    for (POSITION p = a.GetHeadPosition(), q = b.GetHeadPosition(); p && q;) {
        const auto* first = dynamic_cast<const CKivClipMediaObj*>(a.GetNext(p));
        const auto* second = dynamic_cast<const CKivClipMediaObj*>(b.GetNext(q));
        if (!first != !second || (first && !SameMediaRecord(*first, *second))) return false;
    }
    return true;
}
