// The directory search: masks, the entries reported and their facts.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "platform/DirectorySearch.h"

namespace {

struct MaskCase {
    std::wstring name, mask;
    bool matches;
    const char* reason;
};

const MaskCase kMaskCases[] = {
    {L"sea.bmp", L"*.bmp", true, "the plain case"},
    {L"SEA.BMP", L"*.bmp", true, "letter case of the name does not matter"},
    {L"sea.bmp", L"*.BmP", true, "letter case of the mask does not matter"},
    {L"a.b.c.bmp", L"*.bmp", true, "several dots: the last one counts"},
    {L"sea.bmp.txt", L"*.bmp", false, "the extension must end the name"},
    {L"sea.bmpx", L"*.bmp", false, "a longer extension"},
    {L"sea.jpeg", L"*.jpg", false, "no short names: jpeg is not jpg"},
    {L"sea.bmp.", L"*.bmp", false, "a trailing dot ends the name differently"},
    {L".bmp", L"*.bmp", true, "a star may stand for nothing"},
    {L"bmp", L"*.bmp", false, "no dot at all"},
    {L"noext", L"*.", true, "\"*.\" takes a name without extension"},
    {L"trail.", L"*.", true, "trailing dots are no extension"},
    {L"trail...", L"*.", true, "several trailing dots"},
    {L"a.b", L"*.", false, "a name with an extension"},
    {L".hidden", L"*.", false, "a leading dot starts an extension"},
    {L"...", L"*.", false, "nothing left without the dots"},
    {L"anything.at.all", L"*", true, "a star takes every name"},
    {L"noext", L"*.*", true, "\"*.*\" also takes names without a dot"},
    {L"abc", L"abc.*", true, "a mask ending in \".*\" takes the bare name"},
    {L"abc.d", L"abc.*", true, "and the name with any extension"},
    {L"abcd", L"abc.*", false, "but not a longer name"},
    {L"Sea.Bmp", L"sea.bmp", true, "an exact mask without regard to case"},
    {L"sea.bmp", L"sea.bm", false, "an exact mask is the whole name"},
    {L"a1c", L"a?c", true, "a question mark is one character"},
    {L"ac", L"a?c", false, "and not none"},
    {L"caf\u00e9.tga", L"*.TGA", true, "non-ASCII names"},
    {L"", L"*", false, "an empty name"},
    {L"a", L"", false, "an empty mask"},
    {L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", L"*a*a*a*a*a*a*c", false, "many stars fail in time"},
};

TEST(DirectorySearch, MasksMatchAsTheSystemDoes) {
    for (const MaskCase& c : kMaskCases) EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.matches) << c.reason;
}

struct Entry {
    std::wstring name;
    WIN32_FIND_DATAW data;
};

// Every entry a search reports, in order; the handle is closed.
std::vector<Entry> Search(const std::wstring& pattern) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do entries.push_back({data.cFileName, data});
    while (FindNextFileW(search, &data));
    EXPECT_TRUE(FindClose(search));
    return entries;
}

std::vector<std::wstring> Names(const std::vector<Entry>& entries) {
    std::vector<std::wstring> names;
    for (const Entry& e : entries) names.push_back(e.name);
    return names;
}

// A folder with pictures, look-alikes, a folder named like a picture, links and a fifo.
class SearchFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a.bmp", "B.BMP", "c.Bmp.txt", "d.jpeg", "e.jpg", "noext", "trail.",
                                 ".hidden.bmp", "multi.dot.name.bmp"})
            folder.Write(name, Bytes(3, 'x'));
        folder.Write("big.bmp", Bytes(1000, 'x'));
        ASSERT_EQ(mkdir(folder.File("x.bmp").c_str(), 0755), 0);
        ASSERT_EQ(symlink("big.bmp", folder.File("link.bmp").c_str()), 0);
        ASSERT_EQ(symlink("gone.bmp", folder.File("dangling.bmp").c_str()), 0);
        ASSERT_EQ(mkfifo(folder.File("fifo.bmp").c_str(), 0644), 0);
    }
    std::wstring Pattern(const std::string& mask, char separator = '/') const {
        return Wide(folder.Path().string() + separator + mask).Text();
    }
    ScratchFolder folder;
};

struct ListingCase {
    std::string mask;
    std::vector<std::wstring> names;
    const char* reason;
};

const ListingCase kListingCases[] = {
    {"*.bmp",
     {L".hidden.bmp", L"a.bmp", L"B.BMP", L"big.bmp", L"link.bmp", L"multi.dot.name.bmp", L"x.bmp"},
     "ordered without regard to case; no fifo, no dangling link"},
    {"*.BMP",
     {L".hidden.bmp", L"a.bmp", L"B.BMP", L"big.bmp", L"link.bmp", L"multi.dot.name.bmp", L"x.bmp"},
     "the same in upper case"},
    {"*.", {L"noext", L"trail."}, "names without an extension"},
    {"*.jpg", {L"e.jpg"}, "jpeg is not jpg"},
    {"*.txt", {L"c.Bmp.txt"}, "several dots"},
    {"*",
     {L".hidden.bmp", L"a.bmp", L"B.BMP", L"big.bmp", L"c.Bmp.txt", L"d.jpeg", L"e.jpg", L"link.bmp",
      L"multi.dot.name.bmp", L"noext", L"trail.", L"x.bmp"},
     "everything but \".\", \"..\", the fifo and the dangling link"},
    {"A.BMP", {L"a.bmp"}, "an exact name without regard to case"},
    {"b.bmp", {L"B.BMP"}, "the name as the folder holds it"},
    {"x.bmp", {L"x.bmp"}, "a folder by its name"},
    {"gone.bmp", {}, "nothing"},
    {"dangling.bmp", {}, "a dangling link by name"},
    {"fifo.bmp", {}, "a fifo by name"},
    {".", {}, "the folder itself is not an entry"},
    {"", {}, "an empty mask"},
};

TEST_F(SearchFolder, ListsTheMatchingEntriesInOrder) {
    for (const ListingCase& c : kListingCases) EXPECT_EQ(Names(Search(Pattern(c.mask))), c.names) << c.reason;
}

TEST_F(SearchFolder, BackslashesSeparateToo) {
    EXPECT_EQ(Names(Search(Pattern("*.jpg", '\\'))), std::vector<std::wstring>{L"e.jpg"});
}

TEST_F(SearchFolder, EntriesCarryTheirFacts) {
    const std::vector<Entry> entries = Search(Pattern("*.bmp"));
    const auto find = [&](const std::wstring& name) {
        for (const Entry& e : entries)
            if (e.name == name) return e.data;
        ADD_FAILURE() << "missing";
        return WIN32_FIND_DATAW{};
    };
    EXPECT_EQ(find(L"a.bmp").dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(find(L"a.bmp").nFileSizeLow, 3u);
    EXPECT_EQ(find(L"x.bmp").dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY) << "exactly the folder bit";
    EXPECT_EQ(find(L"x.bmp").nFileSizeLow, 0u);
    EXPECT_EQ(find(L".hidden.bmp").dwFileAttributes, FILE_ATTRIBUTE_HIDDEN);
    const WIN32_FIND_DATAW link = find(L"link.bmp");
    const WIN32_FIND_DATAW big = find(L"big.bmp");
    EXPECT_EQ(link.nFileSizeLow, 1000u) << "a link has its target's size";
    EXPECT_EQ(link.ftLastWriteTime.dwLowDateTime, big.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(link.ftLastWriteTime.dwHighDateTime, big.ftLastWriteTime.dwHighDateTime);
}

TEST_F(SearchFolder, ReadOnlyFilesAndHiddenFoldersHaveTheirBits) {
    ASSERT_EQ(chmod(folder.File("e.jpg").c_str(), 0444), 0);
    ASSERT_EQ(mkdir(folder.File(".cache.jpg").c_str(), 0555), 0);
    const std::vector<Entry> entries = Search(Pattern("*.jpg"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)
        << "no read-only bit on folders";
    EXPECT_EQ(entries[1].data.dwFileAttributes, FILE_ATTRIBUTE_READONLY);
}

TEST(DirectorySearch, LargeSizesFillTheHighWord) {
    ScratchFolder folder;
    folder.Write("huge.bmp", {});
    ASSERT_EQ(truncate(folder.File("huge.bmp").c_str(), 0x140000000LL), 0);  // sparse: 5 GiB of nothing
    const std::vector<Entry> entries = Search(Wide(folder.File("*.bmp")).Text());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].data.nFileSizeHigh, 1u);
    EXPECT_EQ(entries[0].data.nFileSizeLow, 0x40000000u);
}

TEST(DirectorySearch, TheLastWriteTimeIsAFileTime) {
    ScratchFolder folder;
    folder.Write("t.bmp", {});
    const timespec times[2] = {{1000000000, 0}, {1000000000, 123456789}};  // 2001-09-09 01:46:40 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, folder.File("t.bmp").c_str(), times, 0), 0);
    const std::vector<Entry> entries = Search(Wide(folder.File("t.bmp")).Text());
    ASSERT_EQ(entries.size(), 1u);
    const FILETIME t = entries[0].data.ftLastWriteTime;
    // (1000000000 + 11644473600) s * 10^7 + 1234567 (the 100-ns intervals of 123456789 ns)
    EXPECT_EQ((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime, 126444736001234567ULL);
    EXPECT_EQ(UnixSecondsFromFileTime(t), 1000000000);
}

struct TimeCase {
    std::time_t seconds;
    long nanoseconds;
    ULONGLONG fileTime;
    const char* reason;
};

const TimeCase kTimeCases[] = {
    {0, 0, 116444736000000000ULL, "1970 in FILETIME units"},
    {-11644473600LL, 0, 0, "1601 itself"},
    {-11644473601LL, 0, 0, "before 1601 becomes 0"},
    {0, 99, 116444736000000000ULL, "less than 100 ns is dropped"},
};

TEST(DirectorySearch, UnixTimesConvert) {
    for (const TimeCase& c : kTimeCases) {
        const FILETIME t = FileTimeFromUnix(c.seconds, c.nanoseconds);
        EXPECT_EQ((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime, c.fileTime) << c.reason;
    }
}

TEST(DirectorySearch, EmptyAndMissingFoldersGiveNoHandle) {
    ScratchFolder folder;
    WIN32_FIND_DATAW data;
    EXPECT_EQ(FindFirstFileW(Wide(folder.File("*")).GetString(), &data), INVALID_HANDLE_VALUE) << "empty";
    EXPECT_EQ(FindFirstFileW(Wide(folder.File("missing/*")).GetString(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindFirstFileW(Wide(folder.File("")).GetString(), &data), INVALID_HANDLE_VALUE)
        << "a trailing separator leaves no mask";
    EXPECT_FALSE(FindNextFileW(INVALID_HANDLE_VALUE, &data));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

TEST(DirectorySearch, AFolderIsFoundByItsPath) {
    ScratchFolder folder;
    ASSERT_EQ(mkdir(folder.File("pics").c_str(), 0755), 0);
    const std::vector<Entry> entries = Search(Wide(folder.File("pics")).Text());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
}

TEST(DirectorySearch, AnEntryRemovedDuringTheSearchIsSkipped) {
    ScratchFolder folder;
    folder.Write("a.bmp", {});
    folder.Write("b.bmp", {});
    folder.Write("c.bmp", {});
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(Wide(folder.File("*.bmp")).GetString(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::wstring(data.cFileName), L"a.bmp");
    ASSERT_EQ(unlink(folder.File("b.bmp").c_str()), 0);
    ASSERT_TRUE(FindNextFileW(search, &data));
    EXPECT_EQ(std::wstring(data.cFileName), L"c.bmp");
    EXPECT_FALSE(FindNextFileW(search, &data));
    EXPECT_TRUE(FindClose(search));
}

}  // namespace
