// The scaled loads and the area load into a caller's block, over pictures our own writers made: no pixel
// may be written outside the block, and the clipped scaled load may change nothing outside the clip and
// placement rectangles.
//
// Each input describes one picture and the calls made with it:
//   byte 0      bit 0: saved as a TGA (else a BMP); bits 1-7: unused
//   byte 1, 2   picture width and height, 1 + byte % 64
//   byte 3, 4   for a TGA, its stored origin: the region's left and top in the saved buffer, byte % 64
//   byte 5, 6   target width and height, byte % 131 - 2 (-2 to 128: empty and negative sizes too)
//   byte 7, 8, 9  the modes of the whole scaled load, the clipped scaled load and the area load, as signed
//               bytes (0 and 1 mix, any other value replaces)
//   byte 10     byte % 17: a shift for the eight rectangle coordinates that follow, so that they reach from
//               small numbers to the whole 32-bit range
//   bytes 11-26 the clip and placement rectangles (left, top, right, bottom), signed 16-bit little-endian,
//               each shifted left by the shift; an empty placement places the picture at its own rectangle
//   the rest    the pixels, 4 bytes each (blue, green, red, alpha), repeated as needed
// The target block is filled from the pixel bytes too, so that the mixing modes meet varied targets.

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"

namespace {

constexpr int kMaxPictureSide = 64;
constexpr int kMaxOrigin = 64;
constexpr int kTargetSides = 131;  // byte % 131 - 2: -2 to 128
constexpr std::size_t kHeaderBytes = 27;
constexpr std::size_t kGuardWords = 64;
constexpr DWORD kGuardBase = 0xDEC0AD00u;

// The folder the pictures are saved in, one per process, removed at exit. It lies in memory where the
// system offers a memory file system: every input creates and renames a file, and on a disk the journal
// of those renames, not the code under test, would set the pace.
class SaveFolder {
  public:
    SaveFolder() {
        struct stat status {};
        const bool memory = ::stat("/dev/shm", &status) == 0 && S_ISDIR(status.st_mode);
        std::string pattern = std::string(memory ? "/dev/shm" : "/tmp") + "/kivpicture-zoom-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) FuzzFail("cannot make a folder for the saved pictures");
        folder_ = pattern;
        bmp_ = folder_ + "/picture.bmp";
        tga_ = folder_ + "/picture.tga";
    }
    ~SaveFolder() {
        unlink(bmp_.c_str());
        unlink(tga_.c_str());
        rmdir(folder_.c_str());
    }
    SaveFolder(const SaveFolder&) = delete;
    SaveFolder& operator=(const SaveFolder&) = delete;
    const std::string& Path(bool tga) const { return tga ? tga_ : bmp_; }

  private:
    std::string folder_, bmp_, tga_;
};

struct Input {
    bool tga = false;
    int width = 1, height = 1, originX = 0, originY = 0;
    int targetWidth = 0, targetHeight = 0;
    MIXMODE wholeMode = 0, clippedMode = 0, areaMode = 0;
    CRect clip, placement;
    std::vector<std::uint8_t> pixelBytes;  // never empty

    // Word i of an endless repetition of the pixel bytes.
    DWORD Word(std::size_t i) const {
        DWORD word = 0;
        for (std::size_t b = 0; b < 4; ++b)
            word |= static_cast<DWORD>(pixelBytes[(4 * i + b) % pixelBytes.size()]) << (8 * b);
        return word;
    }
};

int Coordinate(const std::uint8_t* at, unsigned shift) {
    const auto value = static_cast<std::int16_t>(static_cast<std::uint16_t>(at[0] | at[1] << 8));
    // In 64 bits and then narrowed: -32768 << 16 is the most negative int, 32767 << 16 stays below the most
    // positive one.
    return static_cast<int>(static_cast<long long>(value) * (1ll << shift));
}

Input Parse(const std::uint8_t* data, std::size_t size) {
    std::uint8_t header[kHeaderBytes] = {};
    std::memcpy(header, data, std::min(size, kHeaderBytes));
    Input input;
    input.tga = header[0] & 1;
    input.width = 1 + header[1] % kMaxPictureSide;
    input.height = 1 + header[2] % kMaxPictureSide;
    input.originX = header[3] % kMaxOrigin;
    input.originY = header[4] % kMaxOrigin;
    input.targetWidth = header[5] % kTargetSides - 2;
    input.targetHeight = header[6] % kTargetSides - 2;
    input.wholeMode = static_cast<std::int8_t>(header[7]);
    input.clippedMode = static_cast<std::int8_t>(header[8]);
    input.areaMode = static_cast<std::int8_t>(header[9]);
    const unsigned shift = header[10] % 17;
    const std::uint8_t* r = header + 11;
    input.clip = CRect(Coordinate(r, shift), Coordinate(r + 2, shift), Coordinate(r + 4, shift),
                       Coordinate(r + 6, shift));
    r += 8;
    input.placement = CRect(Coordinate(r, shift), Coordinate(r + 2, shift), Coordinate(r + 4, shift),
                            Coordinate(r + 6, shift));
    if (size > kHeaderBytes) input.pixelBytes.assign(data + kHeaderBytes, data + size);
    if (input.pixelBytes.empty()) input.pixelBytes = {0x10, 0x80, 0xF0, 0xFF};
    return input;
}

// Saves the picture with our writers: a TGA from inside a larger buffer, so that it carries an origin.
// Returns the rectangle the readers must report.
CRect SavePicture(const Input& input, const SaveFolder& folder) {
    const int left = input.tga ? input.originX : 0;
    const int top = input.tga ? input.originY : 0;
    const int cx = left + input.width, cy = top + input.height;
    std::vector<DWORD> buffer(static_cast<std::size_t>(cx) * cy, 0x5A5A5A5Au);
    for (int y = 0; y < input.height; ++y)
        for (int x = 0; x < input.width; ++x)
            buffer[static_cast<std::size_t>(top + y) * cx + left + x] =
                input.Word(static_cast<std::size_t>(y) * input.width + x);
    const CRect region(left, top, cx, cy);
    const CString path = CString::FromUtf8(folder.Path(input.tga));
    const int saved = input.tga ? KivPictureSaveTGAFile(path, buffer.data(), CSize(cx, cy), region)
                                : KivPictureSaveBMPFile(path, buffer.data(), CSize(cx, cy), region);
    if (saved != 1) FuzzFail("a writer could not save a small picture");

    // The round trip: the dispatch reads back the region, at the TGA's origin, with the same pixels; the
    // bitmap reader takes no alpha from a 32-bit file and makes every pixel opaque.
    const DWORD alpha = input.tga ? 0 : 0xFF000000u;
    CRect rect;
    DWORD* pixels = KivPictureLoadPicFile(path, rect);
    if (!pixels) FuzzFail("a picture our writer saved does not load");
    if (rect != region) FuzzFail("a saved picture loads with another rectangle");
    for (int y = 0; y < input.height; ++y)
        for (int x = 0; x < input.width; ++x)
            if (pixels[static_cast<std::size_t>(y) * input.width + x] !=
                (buffer[static_cast<std::size_t>(top + y) * cx + left + x] | alpha))
                FuzzFail("a saved picture loads with other pixels");
    GlobalFree(pixels);
    return region;
}

// A target block of size.cx x size.cy pixels (none for an empty size) between two runs of guard words.
class GuardedTarget {
  public:
    GuardedTarget(CSize size, const Input& input) {
        count_ = size.cx > 0 && size.cy > 0 ? static_cast<std::size_t>(size.cx) * size.cy : 0;
        words_.resize(kGuardWords + count_ + kGuardWords);
        for (std::size_t i = 0; i < kGuardWords; ++i) {
            words_[i] = tagCOLOR32::FromWord(kGuardBase + static_cast<DWORD>(i));
            words_[kGuardWords + count_ + i] = tagCOLOR32::FromWord(~(kGuardBase + static_cast<DWORD>(i)));
        }
        for (std::size_t i = 0; i < count_; ++i)
            words_[kGuardWords + i] = tagCOLOR32::FromWord(input.Word(i * 7 + 3));
    }
    tagCOLOR32* Block() { return words_.data() + kGuardWords; }
    std::vector<tagCOLOR32> Snapshot() const {
        return std::vector<tagCOLOR32>(words_.begin() + kGuardWords, words_.begin() + kGuardWords + count_);
    }
    void CheckGuards(const char* call) const {
        for (std::size_t i = 0; i < kGuardWords; ++i) {
            if (words_[i].Word() != kGuardBase + static_cast<DWORD>(i)) {
                std::fprintf(stderr, "%s wrote %zu pixels before the target\n", call, kGuardWords - i);
                FuzzFail("a write landed before the target block");
            }
            if (words_[kGuardWords + count_ + i].Word() != ~(kGuardBase + static_cast<DWORD>(i))) {
                std::fprintf(stderr, "%s wrote pixel %zu after the target\n", call, i);
                FuzzFail("a write landed after the target block");
            }
        }
    }

  private:
    std::size_t count_ = 0;
    std::vector<tagCOLOR32> words_;
};

bool SizeIsUsable(CSize size) {
    return size.cx > 0 && size.cy > 0;
}

void ZoomWhole(const Input& input, const CString& path, CSize size) {
    GuardedTarget target(size, input);
    const int result = KivPictureZoomPicFile(path, target.Block(), size, input.wholeMode);
    target.CheckGuards("the whole scaled load");
    if (result != (SizeIsUsable(size) ? 1 : 0)) FuzzFail("the whole scaled load gave an unexpected result");
}

// Only pixels inside the clip (cut to the target) and the placement (the picture's own rectangle when
// empty) may change.
void ZoomClipped(const Input& input, const CString& path, CSize size, const CRect& pictureRect) {
    GuardedTarget target(size, input);
    const std::vector<tagCOLOR32> before = target.Snapshot();
    const int result =
        KivPictureZoomPicFile(path, input.clip, input.placement, size, target.Block(), input.clippedMode);
    target.CheckGuards("the clipped scaled load");
    if (result != (SizeIsUsable(size) ? 1 : 0)) FuzzFail("the clipped scaled load gave an unexpected result");
    if (!SizeIsUsable(size)) return;
    const CRect placement = input.placement.IsRectEmpty() ? pictureRect : input.placement;
    const std::vector<tagCOLOR32> after = target.Snapshot();
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) {
            const bool inside = x >= input.clip.left && x < input.clip.right && y >= input.clip.top &&
                                y < input.clip.bottom && x >= placement.left && x < placement.right &&
                                y >= placement.top && y < placement.bottom;
            const std::size_t i = static_cast<std::size_t>(y) * size.cx + x;
            if (!inside && !(after[i] == before[i])) {
                std::fprintf(stderr, "pixel (%d, %d) changed outside the clip and placement\n", x, y);
                FuzzFail("the clipped scaled load changed a pixel it must not touch");
            }
        }
}

void LoadByArea(const Input& input, const CString& path, CSize size) {
    GuardedTarget target(size, input);
    const BOOL result = KivPictureLoadPicFile(path, target.Block(), size, input.areaMode);
    target.CheckGuards("the area load");
    if ((result != FALSE) != SizeIsUsable(size)) FuzzFail("the area load gave an unexpected result");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KivPictureOpen();  // the product table of the bilinear sampler
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SaveFolder folder;
    const Input input = Parse(data, size);
    const CRect pictureRect = SavePicture(input, folder);
    const CString path = CString::FromUtf8(folder.Path(input.tga));
    const CSize target(input.targetWidth, input.targetHeight);
    ZoomWhole(input, path, target);
    ZoomClipped(input, path, target, pictureRect);
    LoadByArea(input, path, target);
    return 0;
}
