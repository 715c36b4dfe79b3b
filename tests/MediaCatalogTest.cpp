// A folder's catalogue: the cache file's life (trusted, stale, rewritten, deleted), the gathering's
// extension lists and directory quirks, the incremental and threaded rebuilds, and two listings at once.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "media/ClipMediaFileCollection.h"
#include "media/ClipMediaObj.h"
#include "media/MediaGathering.h"
#include "platform/MessageBox.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kAllTypes = "bmp,tga,jpg,gif,pcx,psd";

// A picture of size whose colour depends on seed, saved by the writer its extension names.
void WritePicture(const std::string& path, CSize size, DWORD seed) {
    std::vector<DWORD> pixels(static_cast<size_t>(size.cx) * size.cy);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xFF000000 | (seed * 0x10101 + static_cast<DWORD>(i));
    const CString wide = Wide(path);
    const CRect all(0, 0, size.cx, size.cy);
    std::string extension = fs::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    int saved = 0;
    if (extension == ".bmp") saved = KivPictureSaveBMPFile(wide, pixels.data(), size, all);
    if (extension == ".tga") saved = KivPictureSaveTGAFile(wide, pixels.data(), size, all);
    if (extension == ".pcx") saved = KivPictureSavePCXFile(wide, pixels.data(), size, all);
    if (extension == ".jpg") saved = KivPictureSaveJPGFile(wide, pixels.data(), size, all);
    ASSERT_EQ(saved, 1) << path;
}

// Sets a file's last-write time to the given whole second.
void SetWriteTime(const std::string& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

struct Listing {
    int result = -1;
    KivMediaFetchReport report;
    std::vector<std::string> paths;
    std::vector<std::string> titles;
};

// A folder of pictures and its cache.
class CatalogFolder {
  public:
    CatalogFolder() {
        Add("a.bmp", CSize(40, 30), 1);
        Add("b.tga", CSize(33, 17), 2);
        Add("c.jpg", CSize(64, 48), 3);
        Add("d.pcx", CSize(20, 90), 4);
    }

    void Add(const std::string& name, CSize size, DWORD seed) {
        WritePicture(folder_.File(name), size, seed);
        SetWriteTime(folder_.File(name), 1'600'000'000 + static_cast<time_t>(seed));
    }

    std::string Path() const { return folder_.Path().string(); }
    std::string File(const std::string& name) const { return folder_.File(name); }
    std::string Cache() const { return folder_.File("VudEvovi.pmf"); }
    bool HasCache() const { return fs::exists(fs::symlink_status(Cache())); }

    Listing List(const std::string& types = kAllTypes, unsigned threads = 0, std::string folder = {}) const {
        if (folder.empty()) folder = Path();
        Listing listing;
        CKivObList list;
        listing.result = FetchValidMediaFile(&list, Wide(folder), Wide(Cache()), Wide(types), {},
                                             &listing.report, threads);
        for (POSITION position = list.GetHeadPosition(); position;) {
            auto* record = dynamic_cast<CKivClipMediaObj*>(list.GetNext(position));
            EXPECT_NE(record, nullptr);
            listing.paths.push_back(record->m_strMediaFile.ToUtf8());
            listing.titles.push_back(record->m_strShowName.ToUtf8());
        }
        return listing;
    }

  private:
    ScratchFolder folder_;
};

std::vector<std::string> Names(const Listing& listing) {
    std::vector<std::string> names;
    for (const std::string& path : listing.paths) names.push_back(fs::path(path).filename().string());
    return names;
}

using NameList = std::vector<std::string>;

// "prefix<number>extension", built piece by piece (GCC 12 warns falsely about the one-line concatenation).
std::string NumberedName(const char* prefix, int number, const char* extension) {
    std::string name = prefix;
    name += std::to_string(number);
    name += extension;
    return name;
}

// Runs check as a user without root's right to ignore permissions: in a child process that gives up root
// when the tests run as root (the folder is handed to that user first). True when check returned true.
bool RunUnprivileged(const std::string& folder, bool (*check)(const std::string&)) {
    if (::geteuid() != 0) return check(folder);
    constexpr uid_t kNobody = 65534;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (::lchown(entry.path().c_str(), kNobody, kNobody) != 0) return false;
    if (::chown(folder.c_str(), kNobody, kNobody) != 0) return false;
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const bool passed = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && check(folder);
        ::_exit(passed ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(MediaCatalog, SecondListingTrustsTheCacheAndReadsNoPicture) {
    CatalogFolder folder;
    const Listing first = folder.List();
    EXPECT_EQ(first.result, 1);
    EXPECT_FALSE(first.report.cacheTrusted);
    EXPECT_EQ(first.report.picturesRead, 4);
    EXPECT_EQ(Names(first), (NameList{"a.bmp", "b.tga", "c.jpg", "d.pcx"}));
    EXPECT_EQ(first.titles, Names(first));
    ASSERT_TRUE(folder.HasCache());

    const Bytes cache = ReadFileBytes(folder.Cache());
    const Listing second = folder.List();
    EXPECT_TRUE(second.report.cacheTrusted);
    EXPECT_EQ(second.report.picturesRead, 0);
    EXPECT_EQ(second.paths, first.paths);
    EXPECT_EQ(second.titles, first.titles);
    EXPECT_EQ(ReadFileBytes(folder.Cache()), cache);  // a trusted cache is not rewritten
}

TEST(MediaCatalog, TheCacheHoldsTheRecordsOfTheFolder) {
    CatalogFolder folder;
    folder.List();
    CKivClipMediaFileCollection cache;
    ASSERT_EQ(cache.LoadFromFile(Wide(folder.Cache())), 1);
    ASSERT_EQ(cache.m_MediaList.GetCount(), 4);
    auto* first = dynamic_cast<CKivClipMediaObj*>(cache.m_MediaList.GetHead());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->m_szMedia, CSize(40, 30));
    EXPECT_EQ(first->m_Icon.GetSize(), CSize(80, 60));
    // The file begins with the collection's base part and version, then the record count and the first
    // record's new-class tag, schema and name.
    const Bytes bytes = ReadFileBytes(folder.Cache());
    const std::string name = "CKivClipMediaObj";
    Bytes head = {0, 0, 0, 0, 4, 0, 0xFF, 0xFF, 0, 0, static_cast<BYTE>(name.size()), 0};
    head.insert(head.end(), name.begin(), name.end());
    ASSERT_GE(bytes.size(), head.size());
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(head.size())), head);
}

TEST(MediaCatalog, ChangesMakeTheCacheUntrustedAndOnlyChangedPicturesAreRead) {
    struct Case {
        const char* name;
        void (*change)(CatalogFolder&);
        int picturesRead;
    };
    const Case cases[] = {
        {"new file", [](CatalogFolder& f) { f.Add("e.bmp", CSize(8, 8), 9); }, 1},
        {"touched", [](CatalogFolder& f) { SetWriteTime(f.File("b.tga"), 1'700'000'000); }, 1},
        {"rewritten", [](CatalogFolder& f) { f.Add("c.jpg", CSize(64, 48), 33); }, 1},
        {"removed", [](CatalogFolder& f) { fs::remove(f.File("a.bmp")); }, 0},
        {"renamed", [](CatalogFolder& f) { fs::rename(f.File("d.pcx"), f.File("e.pcx")); }, 1},
    };
    for (const Case& c : cases) {
        CatalogFolder folder;
        folder.List();
        c.change(folder);
        const Listing changed = folder.List();
        EXPECT_FALSE(changed.report.cacheTrusted) << c.name;
        EXPECT_EQ(changed.report.picturesRead, c.picturesRead) << c.name;
        // The cache written is the one a full rebuild writes, and it is trusted next time.
        const Bytes incremental = ReadFileBytes(folder.Cache());
        fs::remove(folder.Cache());
        const Listing full = folder.List();
        EXPECT_EQ(full.paths, changed.paths) << c.name;
        EXPECT_EQ(full.titles, changed.titles) << c.name;
        EXPECT_EQ(ReadFileBytes(folder.Cache()), incremental) << c.name;
        EXPECT_TRUE(folder.List().report.cacheTrusted) << c.name;
    }
}

TEST(MediaCatalog, AFileListedTwiceGetsItsThumbnailTwiceInAnIncrementalRebuild) {
    CatalogFolder folder;
    folder.Add("e.bmp", CSize(7, 7), 8);
    folder.List("bmp,bmp");
    SetWriteTime(folder.File("e.bmp"), 1'700'000'000);
    const Listing changed = folder.List("bmp,bmp");
    EXPECT_EQ(Names(changed), (NameList{"a.bmp", "e.bmp", "a.bmp", "e.bmp"}));
    EXPECT_EQ(changed.report.picturesRead, 3);  // one cached record serves one of the two
    const Bytes incremental = ReadFileBytes(folder.Cache());
    fs::remove(folder.Cache());
    folder.List("bmp,bmp");
    EXPECT_EQ(ReadFileBytes(folder.Cache()), incremental);
}

TEST(MediaCatalog, RenamingByLetterCaseKeepsTheCacheTrusted) {
    CatalogFolder folder;
    const Listing first = folder.List();
    fs::rename(folder.File("b.tga"), folder.File("B.TGA"));
    const Listing second = folder.List();
    EXPECT_TRUE(second.report.cacheTrusted);
    EXPECT_EQ(second.paths, first.paths);  // the cached records, as they were
}

TEST(MediaCatalog, ReorderedCacheIsNotTrusted) {
    CatalogFolder folder;
    folder.List();
    CKivClipMediaFileCollection cache;
    ASSERT_EQ(cache.LoadFromFile(Wide(folder.Cache())), 1);
    CKivObList reversed;
    while (!cache.m_MediaList.IsEmpty()) reversed.AddHead(cache.m_MediaList.RemoveHead());
    cache.m_MediaList.AddTail(&reversed);
    reversed.RemoveAll();
    ASSERT_EQ(cache.SaveToFile(Wide(folder.Cache())), 1);

    const Listing listing = folder.List();
    EXPECT_FALSE(listing.report.cacheTrusted);
    EXPECT_EQ(listing.report.picturesRead, 0);  // every file is unchanged, so nothing is read again
    EXPECT_EQ(Names(listing), (NameList{"a.bmp", "b.tga", "c.jpg", "d.pcx"}));
    EXPECT_TRUE(folder.List().report.cacheTrusted);
}

TEST(MediaCatalog, DamagedCachesAreDeletedAndRebuilt) {
    CatalogFolder folder;
    folder.List();
    const Bytes good = ReadFileBytes(folder.Cache());
    std::vector<Bytes> damaged = {Bytes(), Bytes{0xFF}, Bytes(100, 0xFF), Bytes(3, 0)};
    for (size_t length : {size_t{6}, size_t{20}, good.size() / 2, good.size() - 1})
        damaged.emplace_back(good.begin(), good.begin() + static_cast<long>(length));
    Bytes otherClass = good;  // the first record's class name changed to one that is not registered
    otherClass[12] = 'X';
    damaged.push_back(otherClass);
    Bytes hugeCount = good;  // a record count the file cannot hold
    hugeCount[4] = 0xFE;
    hugeCount[5] = 0xFF;
    damaged.push_back(hugeCount);

    for (const Bytes& bytes : damaged) {
        WriteFileBytes(folder.Cache(), bytes);
        const Listing listing = folder.List();
        EXPECT_FALSE(listing.report.cacheTrusted) << bytes.size();
        EXPECT_EQ(listing.report.picturesRead, 4) << bytes.size();  // nothing of a damaged cache is used
        EXPECT_EQ(listing.paths.size(), 4u);
        EXPECT_EQ(ReadFileBytes(folder.Cache()), good) << bytes.size();
    }
}

TEST(MediaCatalog, ReadOnlyUntrustedCacheIsStillReplaced) {
    CatalogFolder folder;
    folder.List();
    folder.Add("e.bmp", CSize(5, 5), 7);
    ASSERT_EQ(::chmod(folder.Cache().c_str(), 0444), 0);
    const Listing listing = folder.List();
    EXPECT_FALSE(listing.report.cacheTrusted);
    EXPECT_EQ(listing.paths.size(), 5u);
    struct stat facts {};
    ASSERT_EQ(::stat(folder.Cache().c_str(), &facts), 0);
    EXPECT_TRUE(facts.st_mode & S_IWUSR);  // a new file, not the read-only one
    EXPECT_TRUE(folder.List().report.cacheTrusted);
}

TEST(MediaCatalog, SymbolicLinksAsCacheNeverLeadWritesOutOfTheFolder) {
    ScratchFolder elsewhere;
    const std::string target = elsewhere.File("target.pmf");
    {
        // A link that leads nowhere: removed, and the cache written as a file of the folder.
        CatalogFolder folder;
        fs::create_symlink(target, folder.Cache());
        folder.List();
        EXPECT_FALSE(fs::exists(target));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder.Cache())));
    }
    {
        // A link to a stale cache elsewhere: the link goes, the file it led to stays as it was.
        CatalogFolder folder;
        WriteFileBytes(target, Bytes{1, 2, 3});
        fs::create_symlink(target, folder.Cache());
        folder.List();
        EXPECT_EQ(ReadFileBytes(target), (Bytes{1, 2, 3}));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder.Cache())));
    }
    {
        // A link to a valid cache is read through and trusted.
        CatalogFolder folder;
        folder.List();
        fs::rename(folder.Cache(), target);
        fs::create_symlink(target, folder.Cache());
        EXPECT_TRUE(folder.List().report.cacheTrusted);
        EXPECT_TRUE(fs::is_symlink(folder.Cache()));
    }
}

TEST(MediaCatalog, EmptyAndMissingFolders) {
    ScratchFolder empty;
    const std::string cache = empty.File("VudEvovi.pmf");
    WriteFileBytes(cache, Bytes{0, 0, 0, 0, 0, 0});
    CKivObList list;
    list.AddTail(new CKivClipMediaObj);
    EXPECT_EQ(KivPictureFetchValidMediaFile(&list, Wide(empty.Path().string()), Wide(cache), L"bmp"), 1);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_FALSE(fs::exists(cache));  // an empty folder keeps no cache

    list.AddTail(new CKivClipMediaObj);
    EXPECT_EQ(KivPictureFetchValidMediaFile(&list, Wide(empty.File("missing")), Wide(cache), L"bmp"), 0);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(KivPictureFetchValidMediaFile(nullptr, Wide(empty.Path().string()), Wide(cache), L"bmp"), 0);
}

TEST(MediaCatalog, ExtensionListsAndDirectoryQuirks) {
    CatalogFolder folder;
    folder.Add("E.BMP", CSize(6, 6), 11);
    WriteFileBytes(folder.File("noextension"), Bytes{1, 2, 3});
    WriteFileBytes(folder.File(" blank.bmp"), ReadFileBytes(folder.File("a.bmp")));
    fs::create_directory(folder.File("folder.jpg"));
    struct Case {
        const char* types;
        NameList names;
        int dropped;
    };
    const Case cases[] = {
        {"bmp,tga", {"a.bmp", "E.BMP", "b.tga"}, 1},  // " blank.bmp" loses its blank and is not found
        {"tga,bmp", {"b.tga", "a.bmp", "E.BMP"}, 1},
        {"tga", {"b.tga"}, 0},
        {"TGA", {"b.tga"}, 0},
        {"tga,", {"b.tga"}, 1},  // the empty piece lists "noextension", which is no picture
        {"bmp,bmp", {"a.bmp", "E.BMP", "a.bmp", "E.BMP"}, 2},
        {"jpg", {"c.jpg"}, 0},  // a plain folder named like a picture is passed over
        {"gif", {}, 0},
        {"", {}, 1},
    };
    for (const Case& c : cases) {
        fs::remove(folder.Cache());
        const Listing listing = folder.List(c.types);
        EXPECT_EQ(listing.result, 1) << c.types;
        EXPECT_EQ(Names(listing), c.names) << c.types;
        EXPECT_EQ(listing.report.picturesDropped, c.dropped) << c.types;
    }
    // While a listed file is no picture, the fresh listing is longer than the cache: never trusted.
    EXPECT_FALSE(folder.List("tga,").report.cacheTrusted);
    EXPECT_TRUE(folder.List("tga").report.cacheTrusted);
}

TEST(MediaCatalog, FolderWithOrWithoutTrailingSeparatorGivesTheSamePaths) {
    CatalogFolder folder;
    const Listing plain = folder.List("bmp", 0, folder.Path());
    const Listing slash = folder.List("bmp", 0, folder.Path() + "/");
    ASSERT_EQ(plain.paths.size(), 1u);
    EXPECT_EQ(plain.paths[0], folder.Path() + "/a.bmp");
    EXPECT_EQ(slash.paths, plain.paths);
    // A backslash ends the folder too, and no separator is added after it. Linux opens paths as they are
    // spelt, so "folder\a.bmp" names no file and the picture is dropped.
    // A backslash is no separator of Linux folders: with one at its end, the folder does not exist.
    const Listing backslash = folder.List("bmp", 0, folder.Path() + "\\");
    EXPECT_EQ(backslash.result, 0);
    EXPECT_TRUE(backslash.paths.empty());
}

TEST(MediaCatalog, FolderWithFurtherAttributesBecomesARecordAndIsDropped) {
    CatalogFolder folder;
    fs::create_directory(folder.File(".hidden.jpg"));  // a folder and hidden: not a plain folder
    const Listing listing = folder.List("jpg");
    EXPECT_EQ(Names(listing), (NameList{"c.jpg"}));
    EXPECT_EQ(listing.report.picturesRead, 2);
    EXPECT_EQ(listing.report.picturesDropped, 1);
}

TEST(MediaCatalog, FailingToDeleteTheCacheIsReportedAndTheListingGoesOn) {
    CatalogFolder folder;
    folder.List();
    SetWriteTime(folder.File("a.bmp"), 1'700'000'000);
    EXPECT_TRUE(RunUnprivileged(folder.Path(), [](const std::string& path) {
        if (::chmod(path.c_str(), 0555) != 0) return false;
        std::vector<CString> shown;
        const MessageBoxHandler previous = SetMessageBoxHandler([&](const CString& text, UINT) {
            shown.push_back(text);
            return IDOK;
        });
        CKivObList list;
        const int result =
            KivPictureFetchValidMediaFile(&list, Wide(path), Wide(path + "/VudEvovi.pmf"), Wide(kAllTypes));
        SetMessageBoxHandler(previous);
        ::chmod(path.c_str(), 0755);
        return result == 1 && list.GetCount() == 4 && shown.size() == 1 &&
               shown[0].Text().find(L"VudEvovi.pmf") != std::wstring::npos;
    }));
}

TEST(MediaCatalog, ThreadCountChangesNothingButTheTime) {
    CatalogFolder folder;
    for (int i = 0; i < 12; ++i)
        folder.Add(NumberedName("extra", i, i % 2 ? ".tga" : ".jpg"), CSize(50, 40), 20 + i);
    WriteFileBytes(folder.File("broken.bmp"), Bytes{'B', 'M', 0});
    const Listing one = folder.List(kAllTypes, 1);
    const Bytes oneCache = ReadFileBytes(folder.Cache());
    for (unsigned threads : {2u, 4u, 8u}) {
        fs::remove(folder.Cache());
        const Listing many = folder.List(kAllTypes, threads);
        EXPECT_EQ(many.paths, one.paths) << threads;
        EXPECT_EQ(many.report.picturesDropped, 1) << threads;
        EXPECT_EQ(ReadFileBytes(folder.Cache()), oneCache) << threads;
    }
}

TEST(MediaCatalog, ProgressCountsThePicturesRead) {
    CatalogFolder folder;
    std::vector<std::pair<int, int>> calls;
    CKivObList list;
    KivMediaFetchReport report;
    ASSERT_EQ(KivPictureFetchValidMediaFile(
                  &list, Wide(folder.Path()), Wide(folder.Cache()), Wide(kAllTypes),
                  [&](int done, int total) { calls.emplace_back(done, total); }, &report),
              1);
    ASSERT_EQ(calls.size(), 4u);
    for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i], std::make_pair(static_cast<int>(i) + 1, 4));
}

TEST(MediaCatalog, TwoProcessesListingAtOnceLeaveAValidCache) {
    CatalogFolder folder;
    for (int i = 0; i < 20; ++i) folder.Add(NumberedName("p", i, ".bmp"), CSize(64, 64), 40 + i);
    const size_t expected = 24;
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool complete = true;
            for (int round = 0; round < 6; ++round) {
                if (round == 3 && child == 0) folder.Add("late.bmp", CSize(9, 9), 99);
                const Listing listing = folder.List(kAllTypes, 1);
                complete = complete && listing.result == 1 && listing.paths.size() >= expected;
            }
            ::_exit(complete ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // The cache left behind is whole; a listing now either trusts it or rebuilds it, with every picture.
    CKivClipMediaFileCollection cache;
    EXPECT_EQ(cache.LoadFromFile(Wide(folder.Cache())), 1);
    const Listing after = folder.List();
    EXPECT_EQ(after.paths.size(), expected + 1);
    EXPECT_TRUE(folder.List().report.cacheTrusted);
}
