// The public library: pixel blocks, and gray pictures (".AMY"): their layout, round trips, and the files
// refused without touching the caller's variables or allocating what the header claims.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <climits>
#include <fstream>

#include "CoreTestSupport.h"
#include "libraries/KivPublic.h"

// Blocks of 4 GiB or more, or empty, are refused. (Colour mixing is worked by hand in the scaled-load tests.)
TEST(KivPublic, MemBlockRefusesSizesItCannotHold) {
    CKivMemBlock block;
    for (const CSize size : {CSize(0, 5), CSize(-1, 5), CSize(65536, 16384), CSize(INT_MAX, INT_MAX)})
        EXPECT_FALSE(block.InitBlock(size, nullptr, 0)) << size.cx << " x " << size.cy;
}

namespace {

// A file in the layout, field by field: magic, sides, title length and units, pixels.
Bytes GrayFile(std::uint32_t width, std::uint32_t height, const std::vector<unsigned>& title,
               const Bytes& pixels, unsigned declaredTitle = ~0u) {
    Bytes out = {'A', 'M', 'Y', '1'};
    PutU32(out, width);
    PutU32(out, height);
    PutU16(out, declaredTitle == ~0u ? static_cast<unsigned>(title.size()) : declaredTitle);
    for (unsigned unit : title) PutU16(out, unit);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

Bytes Pattern(size_t count, unsigned seed = 1) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<BYTE>(i * 31 + seed * 7 + (i >> 8));
    return bytes;
}

// Both entries' view of a file, their out-parameters starting as sentinels.
struct ReadBack {
    BOOL info = FALSE;
    CString title = L"untouched";
    int width = -7, height = -9;
    CRect rect = CRect(-1, -2, -3, -4);
    Bytes gray;
    bool loaded = false;
};

ReadBack ReadBoth(const CString& path) {
    ReadBack r;
    r.info = CKivGrayFile::GetGryFileInfo(path, r.title, r.width, r.height);
    BYTE* bits = CKivGrayFile::Load(path, &r.rect);
    r.loaded = bits != nullptr;
    if (bits) r.gray.assign(bits, bits + static_cast<size_t>(r.rect.Width()) * r.rect.Height());
    GlobalFree(bits);
    return r;
}

void ExpectRefused(const CString& path, const std::string& reason) {
    const ReadBack r = ReadBoth(path);
    EXPECT_FALSE(r.info || r.loaded) << reason;
    EXPECT_TRUE(r.title.ToUtf8() == "untouched" && r.width == -7 && r.height == -9 &&
                r.rect == CRect(-1, -2, -3, -4))
        << reason << ": the caller's variables are written only on success";
}

const std::wstring kGrins(512, L'\U0001F600');  // 1024 UTF-16 units
}  // namespace

// The layout: magic, width, height, the title's UTF-16 units (count and units), then the rows from the top.
TEST(GrayFile, LayoutAndRoundTrips) {
    const Bytes expected = GrayFile(3, 2, {'H', 'i', 0xD83D, 0xDE00}, {10, 11, 12, 13, 14, 15});
    ASSERT_EQ(Bytes(expected.begin(), expected.begin() + 16),
              (Bytes{'A', 'M', 'Y', '1', 3, 0, 0, 0, 2, 0, 0, 0, 4, 0, 'H', 0}));
    ScratchFolder folder;
    const CString path = Wide(folder.File("s.amy"));
    ASSERT_TRUE(CKivGrayFile::Save(path, L"Hi\U0001F600", expected.data() + 22, CSize(3, 2)));
    EXPECT_EQ(ReadFileBytes(folder.File("s.amy")), expected);
    const Bytes longer = GrayFile(3, 2, {'H', 'i', 0xD83D, 0xDE00}, {10, 11, 12, 13, 14, 15, 0x99});
    EXPECT_EQ(ReadBoth(folder.Write("longer.amy", longer)).gray, Bytes(expected.begin() + 22, expected.end()))
        << "bytes past the pixels do not count";
    // clang-format off
    const std::tuple<std::wstring, int, int> cases[] = {  // the longest titles: 1024 units
        {L"", 1, 1}, {std::wstring(1024, L'a'), 257, 3}, {kGrins, 1, 1}, {L"w", 65535, 1},
        {L"t", 1, 65535}};
    // clang-format on
    for (const auto& [title, width, height] : cases) {
        const Bytes gray = Pattern(static_cast<size_t>(width) * height, width);
        ASSERT_TRUE(CKivGrayFile::Save(path, CString(title), gray.data(), CSize(width, height))) << width;
        const ReadBack r = ReadBoth(path);
        EXPECT_TRUE(r.info && r.loaded && r.title.Text() == title && r.gray == gray) << width;
        EXPECT_TRUE(r.width == width && r.height == height && r.rect == CRect(0, 0, width, height)) << width;
    }
    BYTE* bits = CKivGrayFile::Load(path, nullptr);
    EXPECT_NE(bits, nullptr) << "the rectangle may be left out";
    GlobalFree(bits);

    const wchar_t bad = 0xFFFD;  // units no character can be read as
    // clang-format off
    const std::pair<std::vector<unsigned>, std::wstring> read[] = {
        {{0xD83D, 'A'}, {bad, L'A'}}, {{0xDE00, 0xD83D}, {bad, bad}}, {{0xDBFF, 0xDFFF}, L"\U0010FFFF"},
        {{0xD83D, 0xD83D, 0xDE00}, {bad, L'\U0001F600'}}, {{0xFFFF, 0xE000}, {0xFFFF, 0xE000}}};
    // clang-format on
    for (const auto& [units, title] : read)
        EXPECT_TRUE(ReadBoth(folder.Write("t.amy", GrayFile(1, 1, units, {7}))).title.Text() == title)
            << units[0];
}

TEST(GrayFile, RefusesWhatIsNoCompleteGrayPicture) {
    const Bytes whole = GrayFile(3, 2, {'H', 'i'}, {1, 2, 3, 4, 5, 6});
    Bytes otherMagic = whole, lowerMagic = whole;
    otherMagic[3] = '2';
    lowerMagic[0] = 'a';
    // clang-format off
    const std::pair<Bytes, const char*> cases[] = {
        {otherMagic, "another magic"}, {lowerMagic, "the magic in lower case"},
        {GrayFile(0, 1, {}, {}), "width zero"},
        {GrayFile(65536, 1, {}, Pattern(65536)), "width 65536, every pixel present"},
        {GrayFile(1, 65536, {}, Pattern(65536)), "height 65536, every pixel present"},
        {GrayFile(0xFFFFFFFFu, 1, {}, Pattern(64)), "a width negative as a signed number"},
        {GrayFile(0x80000001u, 2, {}, Pattern(64)), "a pixel count that wraps in 32 bits"},
        {GrayFile(1, 1, std::vector<unsigned>(1025, 'a'), {0}), "a title of 1025 units"},
        {GrayFile(1, 1, {}, Pattern(64), 0xFFFF), "a title length of 65535 in a small file"},
        {GrayFile(2, 2, {'H', 'i'}, Pattern(5), 3), "the title runs into the pixels and leaves them short"},
        {Head(whole, 3), "cut in the magic"}, {Head(whole, 13), "cut in the title length"},
        {Head(whole, 16), "cut in the title"}, {Head(whole, -1), "one pixel short"}};
    // clang-format on
    ScratchFolder folder;
    for (const auto& [bytes, reason] : cases) ExpectRefused(folder.Write("bad.amy", bytes), reason);
    ExpectRefused(Wide(folder.File("missing.amy")), "a file that does not exist");
    ExpectRefused(Wide(folder.Path().string()), "a folder");
}

// 4 GB declared in a few bytes is refused from the file's length, before any allocation: in a child bounded
// to its use plus 1 GB of address space, a 4 GB allocation fails with ENOMEM. Sanitizers reserve vast ranges,
// so the bound cannot hold under them, and the test says so.
TEST(GrayFile, LyingHeaderIsRefusedWithoutAllocating) {
    ScratchFolder folder;
    const CString path = folder.Write("huge.amy", GrayFile(65535, 65535, {'b', 'i', 'g'}, Pattern(100)));
    ExpectRefused(path, "65535 x 65535 declared, 100 pixel bytes present");
    const int outcome = InChild([&] {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t bound = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE)) + (1ull << 30);
        const rlimit limit{bound, bound};
        if (pages <= 0 || setrlimit(RLIMIT_AS, &limit) != 0) return 100;
        void* probe = std::malloc(65535ull * 65535ull);  // the bound is real: this must fail
        std::free(probe);
        if (probe) return 3;
        errno = 0;
        const ReadBack r = ReadBoth(path);
        return r.info || r.loaded ? 1 : errno == ENOMEM ? 2 : 0;  // ENOMEM: an allocation was tried
    });
    if (outcome == 3) GTEST_SKIP() << "the address space cannot be bounded here (a sanitizer's reservations)";
    EXPECT_EQ(outcome, 0) << "1: accepted, 2: tried to allocate, 100: could not set the bound";
}

TEST(GrayFile, SaveRefusesWhatTheLayoutCannotHoldAndKeepsTheOldFile) {
    const Bytes gray = Pattern(16);
    // clang-format off
    const std::tuple<const BYTE*, int, int, std::wstring> cases[] = {
        {nullptr, 2, 2, L"t"}, {gray.data(), 0, 2, L"t"}, {gray.data(), 2, -2, L"t"},
        {gray.data(), 65536, 1, L"t"},
        {gray.data(), 2, 2, std::wstring(1025, L'a')}, {gray.data(), 2, 2, kGrins + L"a"}};  // 1025 units
    // clang-format on
    ScratchFolder folder;
    const std::string path = folder.File("keep.amy");
    const Bytes old = {'o', 'l', 'd'};
    WriteFileBytes(path, old);
    for (const auto& [bits, width, height, title] : cases) {
        EXPECT_FALSE(CKivGrayFile::Save(Wide(path), CString(title), bits, CSize(width, height)))
            << width << " x " << height;
        EXPECT_EQ(ReadFileBytes(path), old);
        EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"keep.amy"})
            << "no file is left behind";
    }
    EXPECT_FALSE(CKivGrayFile::Save(Wide(folder.Path()), L"t", gray.data(), CSize(2, 2))) << "a folder";
    ASSERT_TRUE(CKivGrayFile::Save(Wide(path), L"new", gray.data(), CSize(4, 4)));
    EXPECT_EQ(ReadFileBytes(path), GrayFile(4, 4, {'n', 'e', 'w'}, gray))
        << "a good save replaces the old file";
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"keep.amy"});
}
