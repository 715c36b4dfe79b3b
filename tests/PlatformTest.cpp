// The platform layer's guards: file masks, memory files, text decoding and path splitting.

#include <gtest/gtest.h>

#include <random>

#include "TestFiles.h"
#include "platform/DirectorySearch.h"
#include "platform/RuntimeLibrary.h"

using namespace kivrt;

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
