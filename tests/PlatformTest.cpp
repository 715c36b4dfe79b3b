// The platform layer's guards: global memory, file masks, memory files, text decoding and path splitting.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "TestFiles.h"
#include "platform/DirectorySearch.h"
#include "platform/GlobalMemory.h"
#include "platform/ObList.h"
#include "platform/RuntimeLibrary.h"

using namespace kivrt;

namespace {

// Whether the mapping holding address carries the kernel's huge-page advice ("hg" among its flags).
bool AdvisedForHugePages(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t from = 0, to = 0;
        char dash = 0;
        if (std::istringstream(line) >> std::hex >> from >> dash >> to && dash == '-')
            inside = from <= at && at < to;
        else if (inside && line.starts_with("VmFlags:"))
            return line.find(" hg") != std::string::npos;
    }
    return false;
}

}  // namespace

// Large blocks are mapped apart (see GlobalMemory.h), small ones come from the heap; both must be whole,
// zeroed when asked, at least 16-byte aligned and releasable on another thread. Mapped blocks are invisible
// to the address sanitizer, so these checks write only inside each block.
TEST(GlobalMemory, BlocksAreWholeZeroedAndReleasableAnywhere) {
    const bool hugePages = GlobalAllocMapsLargeBlocks();
    const SIZE_T mapped = kGlobalMappedBytes;
    // clang-format off
    const std::pair<UINT, SIZE_T> cases[] = {{GPTR, 0}, {GPTR, 1}, {GMEM_FIXED, 100}, {GPTR, mapped - 1},
                                             {GPTR, mapped}, {GMEM_FIXED, mapped + 1}, {GPTR, 3 * mapped + 5}};
    // clang-format on
    for (const auto& [flags, bytes] : cases) {
        auto* block = static_cast<BYTE*>(GlobalAlloc(flags, bytes));
        ASSERT_NE(block, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u) << bytes;
        EXPECT_TRUE(!(flags & GMEM_ZEROINIT) || std::all_of(block, block + bytes, [](BYTE b) { return !b; }))
            << bytes;
        std::memset(block, 0xA5, bytes);
        if (bytes >= mapped && hugePages) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % mapped, 0u) << bytes;
            EXPECT_TRUE(AdvisedForHugePages(block) && AdvisedForHugePages(block + bytes - 1)) << bytes;
        }
        std::thread([block] { EXPECT_EQ(GlobalFree(block), nullptr); }).join();
    }
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
    for (const SIZE_T bytes : {SIZE_MAX, SIZE_MAX - 15}) EXPECT_EQ(GlobalAlloc(GPTR, bytes), nullptr);
}

// A slab's blocks are blocks of their own: whole, zeroed, aligned, apart from one another, freed one by one
// on any thread; the slab's memory goes with the last of them, not before. A load too small to fill a
// huge page, and every load where GlobalAlloc keeps large blocks on the heap, takes heap blocks.
TEST(GlobalMemory, SlabBlocksAreBlocksOfTheirOwn) {
    const bool slabs = GlobalAllocMapsLargeBlocks();
    std::vector<BYTE*> blocks;
    {
        GlobalSlab slab;
        void* small = slab.Alloc(GPTR, 100, 1000);
        EXPECT_FALSE(AdvisedForHugePages(small)) << "too small for a slab";
        GlobalFree(small);
        const SIZE_T sizes[] = {0, 1, 14400, 17, kGlobalMappedBytes, 14400, 100};
        for (const SIZE_T bytes : sizes) {
            auto* block = static_cast<BYTE*>(slab.Alloc(GPTR, bytes, 3 * kGlobalMappedBytes));
            ASSERT_NE(block, nullptr) << bytes;
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u) << bytes;
            EXPECT_TRUE(std::all_of(block, block + bytes, [](BYTE b) { return b == 0; })) << bytes;
            EXPECT_EQ(AdvisedForHugePages(block), slabs) << bytes;
            std::memset(block, static_cast<int>(blocks.size() + 1), bytes);
            blocks.push_back(block);
        }
        for (size_t i = 0; i < blocks.size(); ++i)
            EXPECT_TRUE(std::all_of(blocks[i], blocks[i] + sizes[i], [i](BYTE b) { return b == i + 1; })) << i;
    }
    BYTE* const last = blocks.back();
    blocks.pop_back();
    std::thread([&blocks] {
        for (BYTE* block : blocks) EXPECT_EQ(GlobalFree(block), nullptr);
    }).join();
    EXPECT_EQ(AdvisedForHugePages(last), slabs) << "a block still held keeps its slab";
    GlobalFree(last);
    EXPECT_FALSE(AdvisedForHugePages(last)) << "the last block takes its slab with it";
}

// FindIndex remembers its last answer; every change of the list must leave its answers exact.
TEST(ObList, FindIndexStaysExactAcrossChanges) {
    struct Item : CObject {};
    std::vector<Item> objects(12);
    CObList list;
    std::vector<CObject*> expected;
    const auto check = [&](int step) {
        for (INT_PTR i : {0, 5, 6, 4, 11, 3, 9, 1, 10, 2, 7, 8, 12, -1}) {
            const POSITION position = list.FindIndex(i);
            CObject* const want = i >= 0 && i < INT_PTR(expected.size()) ? expected[size_t(i)] : nullptr;
            EXPECT_EQ(position ? list.GetAt(position) : nullptr, want) << "step " << step << " index " << i;
        }
    };
    for (int i = 0; i < 10; ++i) list.AddTail(&objects[size_t(i)]), expected.push_back(&objects[size_t(i)]);
    check(1);
    list.RemoveAt(list.FindIndex(6)), expected.erase(expected.begin() + 6);  // the last answer goes
    check(2);
    list.AddHead(&objects[10]), expected.insert(expected.begin(), &objects[10]);
    list.AddTail(&objects[11]), expected.push_back(&objects[11]);
    check(3);
    list.RemoveHead(), expected.erase(expected.begin());
    check(4);
    list.RemoveAll(), expected.clear();
    check(5);
}

TEST(DirectorySearch, MasksMatchAsTheSystemDoes) {
    // clang-format off
    const std::tuple<std::wstring, std::wstring, bool> cases[] = {
        {L"SEA.BMP", L"*.bmp", true}, {L"a.b.c.bmp", L"*.BmP", true}, {L"sea.bmp.txt", L"*.bmp", false},
        {L"sea.jpeg", L"*.jpg", false}, {L"sea.bmp.", L"*.bmp", false}, {L".bmp", L"*.bmp", true},
        {L"bmp", L"*.bmp", false}, {L"trail...", L"*.", true}, {L"a.b", L"*.", false}, {L".x", L"*.", false},
        {L"noext", L"*.*", true}, {L"abc", L"abc.*", true}, {L"ac", L"a?c", false}, {L"a1c", L"a?c", true},
        {L"Sea.Bmp", L"sea.bmp", true}, {L"caf\u00e9.tga", L"*.TGA", true}, {L"a", L"", false},
        {L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", L"*a*a*a*a*a*a*c", false},  // many stars fail in time
    };
    // clang-format on
    for (const auto& [name, mask, matches] : cases)
        EXPECT_EQ(MatchesFileMask(name, mask), matches)
            << CString(name).ToUtf8() << " " << CString(mask).ToUtf8();
}

// A mask without wildcards is one name, spelt as the file system spells it; wildcards ignore letter case.
TEST(DirectorySearch, ExactNamesKeepTheirLetterCase) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("A.bmp"), {1});
    const std::pair<const char*, const wchar_t*> cases[] = {
        {"A.bmp", L"A.bmp"}, {"a.bmp", L"none"}, {"*.BMP", L"A.bmp"}, {"a.*", L"A.bmp"}};
    for (const auto& [mask, found] : cases) {
        WIN32_FIND_DATAW data{};
        const HANDLE search = FindFirstFileW(Wide(folder.File(mask)), &data);
        EXPECT_EQ(search != INVALID_HANDLE_VALUE ? std::wstring(data.cFileName) : L"none", found) << mask;
        FindClose(search);
    }
}

// Reallocating memory we did not allocate would be undefined.
TEST(File, MemFileNeverGrowsACallersBlock) {
    for (const UINT growBytes : {0u, 64u}) {
        BYTE block[4] = {1, 2, 3, 4};
        CMemFile file(block, sizeof block, growBytes);
        file.Seek(2, CFile::begin);
        const BYTE three[3] = {9, 9, 9};
        EXPECT_THROW(file.Write(three, 3), CMemoryException) << growBytes;
        EXPECT_EQ(block[2], 3) << "nothing written on failure";
    }
}

TEST(WideText, InvalidUtf8IsReplaced) {
    // An overlong '/' must not become a separator, nor an overlong '.' a dot.
    for (const std::string bytes :
         {"\x80", "\xFF", "\xE4\xB8", "\xC0\xAF", "\xE0\x80\xAE", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        const std::wstring text = CString::FromUtf8("<" + bytes + ">").Text();
        EXPECT_TRUE(text.size() >= 3 && text.front() == L'<' && text.back() == L'>' &&
                    text.find_first_not_of(L'\uFFFD', 1) == text.size() - 1)
            << CString(text).ToUtf8();
    }
}

// Any bytes survive the trip through wide text; the text shown is what the replacing decoder gives, so valid
// UTF-8 is decoded as it stands and each other byte shows as one U+FFFD.
TEST(WideText, FileSystemBytesSurviveTheTripThroughWideText) {
    const char* const pieces[] = {"a",    "/",    ".",    "\xc3", "\xa9", "\xe6", "\xb5", "\xb7", "\xf0",
                                  "\x9f", "\x8c", "\xed", "\xa0", "\xc0", "\xaf", "\xff", "\xf4", "\x90"};
    std::mt19937 random(383);
    for (int i = 0; i < 20000; ++i) {
        std::string bytes;
        for (unsigned n = random() % 8; n > 0; --n) bytes += pieces[random() % std::size(pieces)];
        const CString wide = CString::FromFileSystem(bytes);
        ASSERT_EQ(wide.ToFileSystem(), bytes);
        ASSERT_EQ(wide.DisplayText(), CString::FromUtf8(bytes)) << bytes;
    }
}

TEST(Paths, SplitPathCutsOverlongPartsToTheirBuffers) {
    const std::wstring dir(_MAX_DIR + 50, L'd'), name(_MAX_FNAME + 50, L'n'), ext(_MAX_EXT + 50, L'e');
    std::wstring dirOut(_MAX_DIR + 1, L'#'), nameOut(_MAX_FNAME + 1, L'#'), extOut(_MAX_EXT + 1, L'#');
    _wsplitpath((dir + L"/" + name + L"." + ext).c_str(), nullptr, dirOut.data(), nameOut.data(),
                extOut.data());
    EXPECT_EQ(dirOut, dir.substr(0, _MAX_DIR - 1) + L'\0' + L'#');
    EXPECT_EQ(nameOut, name.substr(0, _MAX_FNAME - 1) + L'\0' + L'#');
    EXPECT_EQ(extOut, (L"." + ext).substr(0, _MAX_EXT - 1) + L'\0' + L'#');
}
