// A folder's catalogue: its cache file's life, extension lists, names that are not UTF-8, and the rebuilds.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <future>
#include <map>

#include "CoreTestSupport.h"
#include "media/ClipMediaFileCollection.h"
#include "media/ClipMediaObj.h"
#include "media/FileName.h"
#include "media/MediaGathering.h"
#include "platform/MessageBox.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kAllTypes = "bmp,tga,jpg,gif,pcx,psd";
using Names = std::vector<std::string>;
const Names kFour = {"a.bmp", "b.tga", "c.jpg", "d.pcx"};  // the pictures of every catalogue folder
const CSize kFourSizes[] = {{40, 30}, {33, 17}, {64, 48}, {20, 90}};

struct Listing {
    int result = -1;
    KivMediaFetchReport report;
    Names names;  // the records' file names as the file system holds them, in order
    std::vector<std::wstring> titles;
    std::vector<CSize> sizes;
};

// A folder of four pictures of distinct sizes and times, and its cache; the user's cache folder is a scratch
// folder that anyone may write, for listings run as another user.
class CatalogFolder {
  public:
    CatalogFolder() {
        const char* before = std::getenv("XDG_CACHE_HOME");
        cacheHomeBefore_ = before ? before : "";
        fs::permissions(cacheHome_.Path(), fs::perms::all);
        ::setenv("XDG_CACHE_HOME", cacheHome_.Path().c_str(), 1);
        for (DWORD i = 0; i < 4; ++i) Add(kFour[i], kFourSizes[i], i + 1);
    }
    // A picture saved by the writer its extension names, its colour and time depending on seed.
    void Add(const std::string& name, CSize size, DWORD seed) {
        std::vector<DWORD> pixels(static_cast<size_t>(size.cx) * size.cy);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = 0xFF000000 | (seed * 0x10101 + static_cast<DWORD>(i));
        const auto save = name.ends_with(".tga")   ? KivPictureSaveTGAFile
                          : name.ends_with(".pcx") ? KivPictureSavePCXFile
                          : name.ends_with(".jpg") ? KivPictureSaveJPGFile
                                                   : KivPictureSaveBMPFile;
        ASSERT_EQ(save(Wide(File(name)), pixels.data(), size, CRect(0, 0, size.cx, size.cy)), 1) << name;
        Touch(name, 1'600'000'000 + static_cast<time_t>(seed));
    }
    void Touch(const std::string& name, time_t seconds) const {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, File(name).c_str(), times, 0), 0) << name;
    }
    std::string Path() const { return folder_.Path().string(); }
    std::string File(const std::string& name) const { return folder_.File(name); }
    std::string Cache() const { return folder_.File("VudEvovi.pmf"); }
    ~CatalogFolder() { ::setenv("XDG_CACHE_HOME", cacheHomeBefore_.c_str(), 1); }
    // The files kept in the user's cache folder.
    size_t UserCacheFiles() const {
        return fs::exists(cacheHome_.Path() / "kivpicture")
                   ? FolderEntries(cacheHome_.Path() / "kivpicture").size()
                   : 0;
    }

    Listing List(const std::string& types = kAllTypes, unsigned threads = 0, std::string folder = {}) const {
        Listing listing;
        CKivObList list;
        listing.result = FetchValidMediaFile(&list, Wide(folder.empty() ? Path() : folder), Wide(Cache()),
                                             Wide(types), {}, &listing.report, threads);
        for (POSITION at = list.GetHeadPosition(); at;) {
            const auto* record = static_cast<CKivClipMediaObj*>(list.GetNext(at));
            listing.names.push_back(fs::path(record->m_strMediaFile.ToFileSystem()).filename());
            listing.titles.push_back(record->m_strShowName.Text());
            listing.sizes.push_back(record->m_szMedia);
        }
        return listing;
    }

  private:
    ScratchFolder cacheHome_, folder_;
    std::string cacheHomeBefore_;
};

}  // namespace

// After a change only the changed pictures are read, and the cache written is the one a full rebuild writes;
// the next listing trusts it, reads no picture and leaves the file as it is.
TEST(MediaCatalog, ChangesMakeTheCacheUntrustedAndOnlyChangedPicturesAreRead) {
    const std::tuple<const char*, void (*)(CatalogFolder&), int> cases[] = {
        {"new file", [](CatalogFolder& f) { f.Add("e.bmp", CSize(8, 8), 9); }, 1},
        {"new file beside a read-only cache",  // replaced by a new file, not written into
         [](CatalogFolder& f) { f.Add("e.bmp", CSize(5, 5), 7), ::chmod(f.Cache().c_str(), 0444); }, 1},
        {"touched", [](CatalogFolder& f) { f.Touch("b.tga", 1'700'000'000); }, 1},
        {"rewritten", [](CatalogFolder& f) { f.Add("c.jpg", CSize(64, 48), 33); }, 1},
        {"removed", [](CatalogFolder& f) { fs::remove(f.File("a.bmp")); }, 0},
        {"renamed", [](CatalogFolder& f) { fs::rename(f.File("d.pcx"), f.File("e.pcx")); }, 1},
        {"renamed by case", [](CatalogFolder& f) { fs::rename(f.File("a.bmp"), f.File("A.bmp")); }, 1},
        {"reordered cache",
         [](CatalogFolder& f) {
             CKivClipMediaFileCollection cache;
             ASSERT_EQ(cache.LoadFromFile(Wide(f.Cache())), 1);
             CKivObList reversed;
             while (!cache.m_MediaList.IsEmpty()) reversed.AddHead(cache.m_MediaList.RemoveHead());
             cache.m_MediaList.AddTail(&reversed);
             reversed.RemoveAll();
             ASSERT_EQ(cache.SaveToFile(Wide(f.Cache())), 1);
         },
         0},
    };
    for (const auto& [name, change, read] : cases) {
        CatalogFolder folder;
        const Listing first = folder.List();
        EXPECT_TRUE(first.result == 1 && !first.report.cacheTrusted && first.report.picturesRead == 4);
        change(folder);
        const Listing changed = folder.List();
        EXPECT_FALSE(changed.report.cacheTrusted) << name;
        for (const std::string& listed : changed.names) EXPECT_TRUE(fs::exists(folder.File(listed))) << name;
        EXPECT_EQ(changed.report.picturesRead, read) << name;
        EXPECT_NE(fs::status(folder.Cache()).permissions() & fs::perms::owner_write, fs::perms::none) << name;
        const Bytes incremental = ReadFileBytes(folder.Cache());
        fs::remove(folder.Cache());
        folder.List();
        const Listing trusted = folder.List();
        EXPECT_TRUE(trusted.report.cacheTrusted && trusted.report.picturesRead == 0) << name;
        EXPECT_EQ(trusted.names, changed.names) << name;
        EXPECT_EQ(ReadFileBytes(folder.Cache()), incremental) << name;
    }
}

// The orientation choice is part of what a cache describes: one written with the other choice is neither
// trusted nor reused, so no sideways record stands for an upright picture or the reverse. Either cache
// has the layout code that knows only version 0 reads.
TEST(MediaCatalog, ACacheReadWithTheOtherOrientationChoiceIsNotTrusted) {
    CatalogFolder folder;
    fs::copy_file(TestDataPath("jpeg/exif-orientation-6.jpg"), folder.File("turned.jpg"));
    for (const bool upright : {false, true, false}) {
        KivPictureSetAutoOrient(upright);
        const Listing changed = folder.List(), again = folder.List();
        KivPictureSetAutoOrient(0);
        EXPECT_FALSE(changed.report.cacheTrusted) << upright;
        EXPECT_EQ(changed.report.picturesRead, 5) << upright;
        EXPECT_TRUE(again.report.cacheTrusted) << upright;
        const size_t turned = std::find(again.names.begin(), again.names.end(), "turned.jpg") - again.names.begin();
        ASSERT_LT(turned, again.sizes.size());
        EXPECT_EQ(again.sizes[turned], upright ? CSize(24, 16) : CSize(16, 24));
        CKivClipMediaFileCollection cache;
        ASSERT_EQ(cache.LoadFromFile(Wide(folder.Cache())), 1);
        EXPECT_EQ(cache.m_MediaList.GetCount(), 5);
        EXPECT_EQ(cache.m_bPicturesUpright, upright);
    }
}

// Half-written, foreign or lying caches: nothing of them is used, and a whole one takes their place.
TEST(MediaCatalog, DamagedCachesAreDeletedAndRebuilt) {
    CatalogFolder folder;
    folder.List();
    const Bytes good = ReadFileBytes(folder.Cache());
    Bytes otherClass = good, hugeCount = good;
    otherClass[12] = 'X';  // the first record's class name, which is then not registered
    hugeCount[4] = 0xFE, hugeCount[5] = 0xFF;  // a record count the file cannot hold
    for (const Bytes& bytes : {Bytes(), Bytes(100, 0xFF), Bytes(good.begin(), good.begin() + 6),
                               Bytes(good.begin(), good.begin() + good.size() / 2),
                               Bytes(good.begin(), good.end() - 1), otherClass, hugeCount}) {
        WriteFileBytes(folder.Cache(), bytes);
        const Listing listing = folder.List();
        EXPECT_FALSE(listing.report.cacheTrusted) << bytes.size();
        EXPECT_EQ(listing.report.picturesRead, 4) << bytes.size();
        EXPECT_EQ(listing.names, kFour) << bytes.size();
        EXPECT_EQ(ReadFileBytes(folder.Cache()), good) << bytes.size();
    }
}

// A link in the cache's place never leads a write out of the folder.
TEST(MediaCatalog, SymbolicLinksAsCache) {
    ScratchFolder elsewhere;
    const std::string target = elsewhere.File("target.pmf");
    for (const int kind : {0, 1, 2}) {  // dangling, to a stale file elsewhere, to a valid cache elsewhere
        CatalogFolder folder;
        if (kind == 1) WriteFileBytes(target, Bytes{1, 2, 3});
        if (kind == 2) folder.List(), fs::rename(folder.Cache(), target);
        fs::create_symlink(target, folder.Cache());
        EXPECT_EQ(folder.List().report.cacheTrusted, kind == 2) << kind;
        EXPECT_EQ(fs::is_symlink(folder.Cache()), kind == 2) << kind << ": only a valid cache is followed";
        EXPECT_EQ(fs::exists(target), kind != 0) << kind;
        EXPECT_TRUE(kind != 1 || ReadFileBytes(target) == (Bytes{1, 2, 3})) << "the file it led to stays";
        fs::remove(target);
    }
}

// An empty folder keeps no cache; a missing one, or no list, gives 0. The list is emptied first either way.
TEST(MediaCatalog, EmptyAndMissingFolders) {
    ScratchFolder empty;
    const std::string cache = empty.File("VudEvovi.pmf");
    WriteFileBytes(cache, Bytes{0, 0, 0, 0, 0, 0});
    CKivObList list;
    const std::pair<std::string, int> folders[] = {{empty.Path().string(), 1}, {empty.File("missing"), 0}};
    for (const auto& [folder, result] : folders) {
        list.AddTail(new CKivClipMediaObj);
        EXPECT_EQ(KivPictureFetchValidMediaFile(&list, Wide(folder), Wide(cache), L"bmp"), result);
        EXPECT_TRUE(list.IsEmpty());
    }
    EXPECT_FALSE(fs::exists(cache));
}

TEST(MediaCatalog, ExtensionListsAndDirectoryQuirks) {
    CatalogFolder folder;
    folder.Add("E.BMP", CSize(6, 6), 11);
    folder.Add("A.bmp", CSize(7, 7), 12);  // beside a.bmp: another file where letter case counts
    WriteFileBytes(folder.File("noextension"), Bytes{1, 2, 3});
    fs::create_directory(folder.File("folder.jpg"));   // a plain folder is passed over
    fs::create_directory(folder.File(".hidden.jpg"));  // a hidden one becomes a record and is dropped
    ASSERT_EQ(::mkfifo(folder.File("fifo.bmp").c_str(), 0644), 0);  // never opened, which would hang
    fs::create_symlink("gone.bmp", folder.File("dangling.bmp"));
    WriteFileBytes(folder.File("a.bmp.txt"), {});
    // clang-format off
    const std::tuple<const char*, Names, int> cases[] = {  // the files listed, and how many are no picture
        {"bmp,tga", {"A.bmp", "a.bmp", "E.BMP", "b.tga"}, 0},
        {"TGA,bmp", {"b.tga", "A.bmp", "a.bmp", "E.BMP"}, 0},
        {"tga,", {"b.tga"}, 1},  // the empty piece lists "noextension", which is no picture
        {"bmp,bmp", {"A.bmp", "a.bmp", "E.BMP", "A.bmp", "a.bmp", "E.BMP"}, 0}, {"jpg", {"c.jpg"}, 1},
        {"gif", {}, 0}};
    // clang-format on
    for (const auto& [types, names, dropped] : cases) {
        fs::remove(folder.Cache());
        const Listing listing = folder.List(types);
        EXPECT_EQ(listing.result, 1) << types;
        EXPECT_EQ(listing.names, names) << types;
        EXPECT_EQ(listing.report.picturesDropped, dropped) << types;
    }
    EXPECT_FALSE(folder.List("tga,").report.cacheTrusted) << "a dropped file never lets the cache be trusted";
    EXPECT_TRUE(folder.List("tga").report.cacheTrusted);
    EXPECT_EQ(folder.List("bmp", 0, folder.Path() + "\\").result, 0) << "\\ is no separator on Linux";
}

// A Linux name is bytes: each of these is found, read, probed, saved by every writer and cached under exactly
// its own bytes, and titled with its undecodable bytes shown as U+FFFD.
TEST(MediaCatalog, NamesAreTheirBytesWhateverTheirEncoding) {
    const std::tuple<const char*, std::string, std::wstring> cases[] = {
        // why, stem, the title's stem
        {"Latin-1", "caf\xe9", L"caf\uFFFD"},
        {"a sequence cut short in the middle", "ab\xe4\xb8z", L"ab\uFFFD\uFFFDz"},
        {"valid but not NFC, beside its NFC twin", "cafe\xcc\x81", L"cafe\u0301"},
        {"NFC", "caf\xc3\xa9", L"caf\u00e9"},
        {"a newline", "two\nlines", L"two\nlines"},
        {"Chinese", "\xe6\xb5\xb7\xe9\xb8\xa5", L"\u6d77\u9e25"},
    };
    CatalogFolder folder;
    std::map<std::string, std::pair<std::wstring, CSize>> expected;  // name: title and size
    for (size_t i = 0; i < kFour.size(); ++i) expected[kFour[i]] = {Wide(kFour[i]).Text(), kFourSizes[i]};
    DWORD seed = 50;
    for (const auto& [why, stem, title] : cases) {
        for (const char* extension : {".bmp", ".tga", ".jpg", ".pcx"}) {  // each writer saves under the name
            const CSize size(7 + seed % 5, 3 + seed % 7);
            folder.Add(stem + extension, size, ++seed);
            expected[stem + extension] = {title + Wide(extension).Text(), size};
        }
        EXPECT_TRUE(CKivFileName(Wide(folder.File(stem + ".bmp"))).IsFileExist()) << why;
    }
    const Listing first = folder.List();
    ASSERT_EQ(first.names.size(), expected.size());
    for (size_t i = 0; i < first.names.size(); ++i) {
        const auto found = expected.find(first.names[i]);
        ASSERT_NE(found, expected.end()) << "listed under other bytes: " << first.names[i];
        EXPECT_EQ(first.titles[i], found->second.first) << first.names[i];
        EXPECT_EQ(first.sizes[i], found->second.second) << first.names[i];
    }
    const Listing second = folder.List();
    EXPECT_TRUE(second.report.cacheTrusted);
    EXPECT_EQ(second.names, first.names);
    EXPECT_EQ(second.titles, first.titles);
}

// A file with a picture's name that is no picture keeps the cache untrusted (one record less than the folder
// lists) but is remembered: later listings read nothing until it changes, and leave the cache file alone.
TEST(MediaCatalog, FilesThatAreNoPicturesAreReadOnceUntilTheyChange) {
    CatalogFolder folder;
    WriteFileBytes(folder.File("broken.bmp"), Bytes{'B', 'M', 0});
    const std::pair<const char*, int> steps[] = {
        {"first", 5}, {"again", 0}, {"touched", 1}, {"once more", 0}};
    const fs::file_time_type old = fs::last_write_time(folder.File("a.bmp"));  // of 2020
    for (const auto& [step, read] : steps) {
        if (step == std::string("touched")) folder.Touch("broken.bmp", 1'700'000'000);
        std::error_code none;  // before the first listing
        fs::last_write_time(folder.Cache(), old, none);
        const Listing listing = folder.List();
        EXPECT_EQ(listing.names, kFour) << step;
        EXPECT_FALSE(listing.report.cacheTrusted) << step;
        EXPECT_EQ(listing.report.picturesRead, read) << step;
        EXPECT_EQ(listing.report.picturesDropped, 1) << step;
        EXPECT_EQ(fs::last_write_time(folder.Cache()) == old, step != std::string("first"))
            << step << ": a cache that holds these records already is not written again";
    }
    fs::remove(folder.File("broken.bmp"));
    EXPECT_TRUE(folder.List().report.cacheTrusted);
}

// Listings as a user bound by permissions, after a picture changed. A folder that may not be written keeps
// its cache with the user (its own stale one stays, and nobody is told), so it is read once; a shared folder
// whose stale cache is another user's (only owners remove files) reports that the cache cannot be deleted.
TEST(MediaCatalog, FoldersThatMayNotBeWrittenKeepTheirCacheWithTheUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to list as another user";
    for (const unsigned mode : {0555u, 01777u}) {
        CatalogFolder folder;
        folder.List();
        folder.Touch("a.bmp", 1'700'000'000);
        const Bytes stale = ReadFileBytes(folder.Cache());
        ASSERT_EQ(::chmod(folder.Path().c_str(), mode), 0);
        const bool writable = mode == 01777u;
        const int wrong = InChild([&] {
            int shown = 0;
            SetMessageBoxHandler([&](const CString& text, UINT) {
                shown += text.Text().find(L"VudEvovi.pmf") != std::wstring::npos;
                return IDOK;
            });
            if (!ActAsNobody()) return 100;
            const Listing first = folder.List(), second = folder.List();
            const bool listed = first.names == kFour && second.names == kFour;
            const bool readOnce = first.report.picturesRead == 1 && second.report.cacheTrusted;
            return listed && shown == (writable ? 2 : 0) && readOnce != writable ? 0 : 1;
        });
        EXPECT_EQ(wrong, 0) << std::oct << mode;
        EXPECT_EQ(ReadFileBytes(folder.Cache()), stale) << std::oct << mode;
        EXPECT_EQ(folder.UserCacheFiles(), writable ? 0u : 1u) << std::oct << mode;
    }
}

TEST(MediaCatalog, ThreadCountChangesNothingButTheTime) {
    CatalogFolder folder;
    for (int i = 0; i < 12; ++i)
        folder.Add(std::string(i % 2 ? "t" : "j").append(std::to_string(i)).append(i % 2 ? ".tga" : ".jpg"),
                   CSize(50, 40), 20 + i);
    WriteFileBytes(folder.File("broken.bmp"), Bytes{'B', 'M', 0});
    const Listing one = folder.List(kAllTypes, 1);
    const Bytes oneCache = ReadFileBytes(folder.Cache());
    for (unsigned threads : {2u, 4u, 8u}) {
        fs::remove(folder.Cache());
        const Listing many = folder.List(kAllTypes, threads);
        EXPECT_EQ(many.names, one.names) << threads;
        EXPECT_EQ(many.report.picturesDropped, 1) << threads;
        EXPECT_EQ(ReadFileBytes(folder.Cache()), oneCache) << threads;
    }
}

TEST(MediaCatalog, TwoProcessesListingAtOnceLeaveAValidCache) {
    CatalogFolder folder;
    for (int i = 0; i < 20; ++i)
        folder.Add(std::string("p").append(std::to_string(i)).append(".bmp"), CSize(64, 64), 40 + i);
    const auto listSixTimes = [&](bool addsOne) {  // in a child process: 0 when every listing was whole
        return InChild([&] {
            bool complete = true;
            for (int round = 0; round < 6; ++round) {
                if (round == 3 && addsOne) folder.Add("late.bmp", CSize(9, 9), 99);
                const Listing listing = folder.List(kAllTypes, 1);
                complete = complete && listing.result == 1 && listing.names.size() >= 24;
            }
            return complete ? 0 : 1;
        });
    };
    std::future<int> other = std::async(std::launch::async, listSixTimes, false);
    EXPECT_EQ(listSixTimes(true), 0);
    EXPECT_EQ(other.get(), 0);
    CKivClipMediaFileCollection cache;
    EXPECT_EQ(cache.LoadFromFile(Wide(folder.Cache())), 1) << "the cache left behind is whole";
    EXPECT_EQ(folder.List().names.size(), 25u);
    EXPECT_TRUE(folder.List().report.cacheTrusted);
}
