// Gray pictures (".AMY"): round trips, the exact byte layout, the title's UTF-16 coding, and the files
// that must be refused (bad magic, sides out of range, long titles, cut files, lying headers).

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "libraries/KivPublic.h"
#include "platform/GlobalMemory.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KIV_GRAY_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define KIV_GRAY_TEST_SANITIZED 1
#endif
#endif

namespace {

// A block from Load, freed at the end of the scope.
struct GrayBlock {
    BYTE* bits = nullptr;
    explicit GrayBlock(BYTE* b) : bits(b) {}
    GrayBlock(const GrayBlock&) = delete;
    GrayBlock& operator=(const GrayBlock&) = delete;
    ~GrayBlock() { GlobalFree(bits); }
};

std::vector<BYTE> Pattern(int width, int height, unsigned seed) {
    std::vector<BYTE> gray(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<BYTE>(i * 31 + seed * 7 + (i >> 8));
    return gray;
}

// A file in the layout, built field by field: header, title units, pixels.
Bytes GrayFileBytes(std::uint32_t width, std::uint32_t height, const std::vector<unsigned>& titleUnits,
                    const Bytes& pixels, unsigned declaredTitleUnits = ~0u) {
    Bytes out = {'A', 'M', 'Y', '1'};
    PutU32(out, width);
    PutU32(out, height);
    PutU16(out, declaredTitleUnits == ~0u ? static_cast<unsigned>(titleUnits.size()) : declaredTitleUnits);
    for (unsigned unit : titleUnits) PutU16(out, unit);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

Bytes Filler(size_t count) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 5 + 1);
    return bytes;
}

// The result of reading a file both ways, with out-parameters that start as sentinels.
struct ReadBack {
    BOOL info = FALSE;
    CString title = L"untouched";
    int width = -7;
    int height = -9;
    bool loaded = false;
    CRect rect = CRect(-1, -2, -3, -4);
    std::vector<BYTE> gray;
};

ReadBack ReadBoth(const CString& path) {
    ReadBack result;
    result.info = CKivGrayFile::GetGryFileInfo(path, result.title, result.width, result.height);
    GrayBlock block(CKivGrayFile::Load(path, &result.rect));
    result.loaded = block.bits != nullptr;
    if (block.bits)
        result.gray.assign(block.bits,
                           block.bits + static_cast<size_t>(result.rect.Width()) * result.rect.Height());
    return result;
}

// Expects both entries to refuse the file and to leave every out-parameter alone.
void ExpectRefused(const CString& path, const std::string& reason) {
    const ReadBack read = ReadBoth(path);
    EXPECT_FALSE(read.info) << reason;
    EXPECT_FALSE(read.loaded) << reason;
    EXPECT_EQ(read.title.ToUtf8(), "untouched") << reason;
    EXPECT_EQ(read.width, -7) << reason;
    EXPECT_EQ(read.height, -9) << reason;
    EXPECT_EQ(read.rect, CRect(-1, -2, -3, -4)) << reason;
}

std::wstring Repeat(const std::wstring& piece, int times) {
    std::wstring text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

}  // namespace

TEST(GrayFile, RoundTrips) {
    const std::wstring grin = L"\U0001F600";  // one character, two UTF-16 units
    const struct {
        std::wstring title;
        int width, height;
        const char* reason;
    } cases[] = {
        {L"", 1, 1, "an empty title and a single pixel"},
        {L"Gray cat", 3, 2, "an ASCII title"},
        {L"caf\u00E9 " + grin + L" \u4E2D", 3, 2,
         "a character past U+FFFF becomes a surrogate pair and back"},
        {Repeat(L"a", 1024), 3, 2, "the longest title, 1024 units of ASCII"},
        {Repeat(grin, 512), 1, 1, "the longest title, 512 pairs"},
        {L"wide", 65535, 1, "the widest picture"},
        {L"tall", 1, 65535, "the tallest picture"},
        {L"odd", 257, 3, "rows longer than a power of two"},
    };
    ScratchFolder folder;
    unsigned seed = 1;
    for (const auto& c : cases) {
        const std::string path = folder.File("round" + std::to_string(seed) + ".amy");
        const std::vector<BYTE> gray = Pattern(c.width, c.height, seed++);
        ASSERT_TRUE(CKivGrayFile::Save(Wide(path), CString(c.title), gray.data(), CSize(c.width, c.height)))
            << c.reason;
        const ReadBack read = ReadBoth(Wide(path));
        EXPECT_TRUE(read.info) << c.reason;
        EXPECT_TRUE(read.title.Text() == c.title) << c.reason << ": read \"" << read.title.ToUtf8() << "\"";
        EXPECT_EQ(read.width, c.width) << c.reason;
        EXPECT_EQ(read.height, c.height) << c.reason;
        ASSERT_TRUE(read.loaded) << c.reason;
        EXPECT_EQ(read.rect, CRect(0, 0, c.width, c.height)) << c.reason;
        EXPECT_TRUE(read.gray == gray) << c.reason;
    }
}

TEST(GrayFile, LoadWithoutRectangleStillReturnsThePixels) {
    ScratchFolder folder;
    const std::vector<BYTE> gray = Pattern(4, 3, 9);
    const CString path = Wide(folder.File("norect.amy"));
    ASSERT_TRUE(CKivGrayFile::Save(path, L"x", gray.data(), CSize(4, 3)));
    GrayBlock block(CKivGrayFile::Load(path, nullptr));
    ASSERT_NE(block.bits, nullptr);
    EXPECT_TRUE(std::equal(gray.begin(), gray.end(), block.bits));
}

TEST(GrayFile, ByteExactLayout) {
    // 3 x 2, title "Hi" and U+1F600 (units 'H', 'i', D83D, DE00), pixels 10..15.
    const Bytes expected = {
        'A',  'M',  'Y',  '1',                           // magic
        0x03, 0x00, 0x00, 0x00,                          // width 3
        0x02, 0x00, 0x00, 0x00,                          // height 2
        0x04, 0x00,                                      // four title units
        'H',  0x00, 'i',  0x00, 0x3D, 0xD8, 0x00, 0xDE,  // "Hi" and the pair, each unit little-endian
        10,   11,   12,                                  // top row
        13,   14,   15,                                  // bottom row
    };
    ScratchFolder folder;
    const std::vector<BYTE> gray = {10, 11, 12, 13, 14, 15};
    const std::string saved = folder.File("saved.amy");
    ASSERT_TRUE(CKivGrayFile::Save(Wide(saved), CString(L"Hi\U0001F600"), gray.data(), CSize(3, 2)));
    EXPECT_EQ(ReadFileBytes(saved), expected);

    // The same bytes written by hand read back as the fields they hold.
    const CString built = folder.Write("built.amy", expected);
    const ReadBack read = ReadBoth(built);
    ASSERT_TRUE(read.info);
    EXPECT_TRUE(read.title.Text() == L"Hi\U0001F600");
    EXPECT_EQ(read.width, 3);
    EXPECT_EQ(read.height, 2);
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(read.rect, CRect(0, 0, 3, 2));
    EXPECT_EQ(read.gray, gray);

    // Bytes past the pixels are not part of the picture and do not spoil it.
    Bytes longer = expected;
    longer.push_back(0x99);
    const ReadBack extra = ReadBoth(folder.Write("longer.amy", longer));
    EXPECT_TRUE(extra.info);
    EXPECT_TRUE(extra.loaded);
    EXPECT_EQ(extra.gray, gray);
}

TEST(GrayFile, TitlesDecodeLoneSurrogatesAsReplacement) {
    const wchar_t kBad = 0xFFFD;
    const struct {
        std::vector<unsigned> units;
        std::wstring expected;
        const char* reason;
    } cases[] = {
        {{0xD83D, 0xDE00}, L"\U0001F600", "a pair is one character"},
        {{0xD800}, {kBad}, "a high surrogate at the end"},
        {{0xD83D, 'A'}, {kBad, L'A'}, "a high surrogate before a plain unit"},
        {{0xDC00, 'A'}, {kBad, L'A'}, "a low surrogate with no high one"},
        {{0xDE00, 0xD83D}, {kBad, kBad}, "a pair in the wrong order"},
        {{0xD83D, 0xD83D, 0xDE00}, {kBad, L'\U0001F600'}, "a lone high surrogate before a pair"},
        {{0xDBFF, 0xDFFF}, L"\U0010FFFF", "the last code point"},
        {{0xFFFF, 0xE000}, {wchar_t(0xFFFF), wchar_t(0xE000)}, "units around the surrogates are kept"},
    };
    ScratchFolder folder;
    int index = 0;
    for (const auto& c : cases) {
        const CString path =
            folder.Write("title" + std::to_string(index++) + ".amy", GrayFileBytes(1, 1, c.units, {7}));
        const ReadBack read = ReadBoth(path);
        ASSERT_TRUE(read.info) << c.reason;
        EXPECT_TRUE(read.title.Text() == c.expected)
            << c.reason << ": read \"" << read.title.ToUtf8() << "\"";
        EXPECT_TRUE(read.loaded) << c.reason;
    }
}

TEST(GrayFile, SaveWritesNoLoneSurrogate) {
    // wchar_t is 32 bits: values that are no code point are written as U+FFFD.
    const struct {
        std::wstring title;
        std::vector<unsigned> units;
        const char* reason;
    } cases[] = {
        {{wchar_t(0xD800)}, {0xFFFD}, "a surrogate value on its own"},
        {{wchar_t(0xDC00), L'z'}, {0xFFFD, 'z'}, "a low surrogate value"},
        {{wchar_t(0x110000)}, {0xFFFD}, "past the last code point"},
        {L"\U00010000", {0xD800, 0xDC00}, "the first character past U+FFFF"},
    };
    ScratchFolder folder;
    const std::vector<BYTE> gray = {42};
    int index = 0;
    for (const auto& c : cases) {
        const std::string path = folder.File("enc" + std::to_string(index++) + ".amy");
        ASSERT_TRUE(CKivGrayFile::Save(Wide(path), CString(c.title), gray.data(), CSize(1, 1))) << c.reason;
        EXPECT_EQ(ReadFileBytes(path), GrayFileBytes(1, 1, c.units, {42})) << c.reason;
    }
}

TEST(GrayFile, RefusesFilesThatAreNotCompleteGrayPictures) {
    const std::vector<unsigned> hi = {'H', 'i'};
    const struct {
        Bytes bytes;
        const char* reason;
    } cases[] = {
        {{}, "an empty file"},
        {[] {
             Bytes b = GrayFileBytes(1, 1, {}, {0});
             b[3] = '2';
             return b;
         }(),
         "another magic"},
        {[] {
             Bytes b = GrayFileBytes(1, 1, {}, {0});
             b[0] = 'a';
             return b;
         }(),
         "the magic in lower case"},
        {GrayFileBytes(0, 1, {}, {}), "width zero"},
        {GrayFileBytes(1, 0, {}, {}), "height zero"},
        {GrayFileBytes(65536, 1, {}, Filler(65536)), "width 65536, every pixel present"},
        {GrayFileBytes(1, 65536, {}, Filler(65536)), "height 65536, every pixel present"},
        {GrayFileBytes(0xFFFFFFFFu, 1, {}, Filler(64)), "a width that is negative as a signed number"},
        {GrayFileBytes(0x80000001u, 2, {}, Filler(64)), "a width whose pixel count wraps in 32 bits"},
        {GrayFileBytes(1, 1, std::vector<unsigned>(1025, 'a'), {0}), "a title of 1025 units"},
        {GrayFileBytes(1, 1, {}, Filler(64), 0xFFFF), "a title length of 65535 in a small file"},
        {GrayFileBytes(3, 2, hi, Filler(5)), "one pixel short"},
        {GrayFileBytes(3, 2, hi, Filler(0)), "no pixels at all"},
        {GrayFileBytes(2, 2, hi, Filler(5), 3), "the title runs into the pixels and leaves them short"},
    };
    ScratchFolder folder;
    int index = 0;
    for (const auto& c : cases)
        ExpectRefused(folder.Write("bad" + std::to_string(index++) + ".amy", c.bytes), c.reason);

    ExpectRefused(Wide(folder.File("missing.amy")), "a file that does not exist");
    ExpectRefused(Wide(folder.Path().string()), "a folder");
    ExpectRefused(CString(L""), "an empty path");

    // The longest title is accepted where one unit more is not.
    EXPECT_TRUE(
        ReadBoth(folder.Write("max.amy", GrayFileBytes(1, 1, std::vector<unsigned>(1024, 'a'), {0}))).loaded);
}

TEST(GrayFile, EveryCutOfAFileIsRefused) {
    const Bytes whole = GrayFileBytes(3, 2, {'H', 'i', 0xD83D, 0xDE00}, {1, 2, 3, 4, 5, 6});
    ScratchFolder folder;
    for (size_t length = 0; length < whole.size(); ++length) {
        const CString path =
            folder.Write("cut.amy", Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
        ExpectRefused(
            path, "the first " + std::to_string(length) + " of " + std::to_string(whole.size()) + " bytes");
    }
    EXPECT_TRUE(ReadBoth(folder.Write("cut.amy", whole)).loaded) << "the whole file";
}

// A header that declares 65535 x 65535 (about 4 GB of pixels) in a file of a few bytes must be refused from
// the file's length, before any allocation.
TEST(GrayFile, LyingHeaderIsRefusedWithoutAllocating) {
    ScratchFolder folder;
    const CString path = folder.Write("huge.amy", GrayFileBytes(65535, 65535, {'b', 'i', 'g'}, Filler(100)));
    ExpectRefused(path, "65535 x 65535 declared, 100 pixel bytes present");

#ifndef KIV_GRAY_TEST_SANITIZED
    // In a child whose address space is bounded to what it uses plus 1 GB, a 4 GB allocation cannot
    // succeed: it fails with ENOMEM, which the child reports. Sanitizers reserve vast address ranges of their
    // own, so the bound is not applied under them.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        if (pages <= 0) _exit(100);
        const rlim_t bound =
            static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (1ull << 30);
        const rlimit limit{bound, bound};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(100);
        errno = 0;
        CString title;
        int width = 0, height = 0;
        if (CKivGrayFile::GetGryFileInfo(path, title, width, height)) _exit(1);
        CRect rect;
        if (BYTE* bits = CKivGrayFile::Load(path, &rect)) {
            GlobalFree(bits);
            _exit(2);
        }
        if (errno == ENOMEM) _exit(3);  // an allocation was attempted and refused by the bound
        // The bound is real: the allocation the header asks for does fail here.
        void* probe = std::malloc(65535ull * 65535ull);
        if (probe) {
            std::free(probe);
            _exit(4);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    const int childResult = WEXITSTATUS(status);
    EXPECT_EQ(childResult, 0) << "1: info accepted, 2: loaded, 3: tried to allocate, 4: bound not in "
                                 "force, 100: could not set the bound";
#endif
}

TEST(GrayFile, SaveRefusesWhatTheLayoutCannotHold) {
    const std::vector<BYTE> gray = Pattern(4, 4, 3);
    const std::wstring grin = L"\U0001F600";
    const struct {
        const BYTE* gray;
        int width, height;
        std::wstring title;
        const char* reason;
    } cases[] = {
        {nullptr, 2, 2, L"t", "no pixels"},
        {gray.data(), 0, 2, L"t", "width zero"},
        {gray.data(), 2, 0, L"t", "height zero"},
        {gray.data(), -2, 2, L"t", "a negative width"},
        {gray.data(), 2, -2, L"t", "a negative height"},
        {gray.data(), 65536, 1, L"t", "width 65536"},
        {gray.data(), 1, 65536, L"t", "height 65536"},
        {gray.data(), 2, 2, Repeat(L"a", 1025), "a title of 1025 units"},
        {gray.data(), 2, 2, Repeat(grin, 512) + L"a", "513 characters that take 1025 units"},
        {gray.data(), 2, 2, Repeat(grin, 600), "600 characters that take 1200 units"},
    };
    ScratchFolder folder;
    const Bytes old = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
    int index = 0;
    for (const auto& c : cases) {
        const std::string name = "keep" + std::to_string(index++) + ".amy";
        const std::string path = folder.File(name);
        WriteFileBytes(path, old);
        EXPECT_FALSE(CKivGrayFile::Save(Wide(path), CString(c.title), c.gray, CSize(c.width, c.height)))
            << c.reason;
        EXPECT_EQ(ReadFileBytes(path), old) << c.reason << ": the old file is kept";
        EXPECT_FALSE(CKivGrayFile::Save(Wide(folder.File("new-" + name)), CString(c.title), c.gray,
                                        CSize(c.width, c.height)))
            << c.reason;
        EXPECT_FALSE(std::filesystem::exists(folder.File("new-" + name))) << c.reason << ": no file is made";
    }
    // Nothing but the old files: no temporary file is left behind.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path())) ++entries;
    EXPECT_EQ(entries, std::size(cases));

    EXPECT_FALSE(
        CKivGrayFile::Save(Wide(folder.File("no-such-folder/x.amy")), L"t", gray.data(), CSize(2, 2)))
        << "a folder that does not exist";
    EXPECT_FALSE(CKivGrayFile::Save(Wide(folder.Path().string()), L"t", gray.data(), CSize(2, 2)))
        << "a folder is never replaced";
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path()));
}

TEST(GrayFile, SaveReplacesAnOldFileOnlyWhenComplete) {
    ScratchFolder folder;
    const std::string path = folder.File("replace.amy");
    WriteFileBytes(path, {'o', 'l', 'd'});
    const std::vector<BYTE> gray = Pattern(5, 4, 11);
    ASSERT_TRUE(CKivGrayFile::Save(Wide(path), L"new", gray.data(), CSize(5, 4)));
    EXPECT_EQ(ReadFileBytes(path), GrayFileBytes(5, 4, {'n', 'e', 'w'}, Bytes(gray.begin(), gray.end())));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path())) ++entries;
    EXPECT_EQ(entries, 1u) << "no temporary file is left";
}
