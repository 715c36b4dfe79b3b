// Lists one folder's pictures as media records, through the folder's cache file when it still describes
// the folder.
#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "media/ClipMediaFileCollection.h"
#include "media/ClipMediaObj.h"
#include "media/FolderCaches.h"
#include "media/MediaGathering.h"
#include "platform/DirectorySearch.h"
#include "platform/File.h"
#include "platform/FileStatus.h"
#include "platform/MessageBox.h"
#include "platform/RuntimeLibrary.h"
#include "readers/Readers.h"

using kivrt::FoldCase;

namespace {

constexpr unsigned kMaxReadingThreads = 8;

bool IsSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

// The pieces of a comma-separated extension list, the text after the last comma included also when empty.
std::vector<CString> SplitExtensions(const CString& extensions) {
    std::vector<CString> pieces;
    const std::wstring& text = extensions.Text();
    size_t start = 0;
    for (size_t comma = text.find(L','); comma != std::wstring::npos; comma = text.find(L',', start)) {
        pieces.emplace_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    pieces.emplace_back(text.substr(start));
    return pieces;
}

// Calls take(entry, name) for each entry the search of pattern reports, in its order, with the entry's
// name trimmed of white space (entry.cFileName keeps it as listed); plain folders and names that are
// only white space are passed over.
template <class Take>
void ForEachEntry(const CString& pattern, Take take) {
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    struct SearchCloser {
        HANDLE handle;
        ~SearchCloser() { FindClose(handle); }
    } closer{search};
    do {
        // Only a plain folder is passed over here; one with further attributes fails as a picture later.
        if (entry.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) continue;
        CString name(entry.cFileName);
        name.Trim();
        if (!name.IsEmpty()) take(entry, name);
    } while (FindNextFileW(search, &entry));
}

void AddRecord(const CString& folder, const CString& name, WIN32_FIND_DATAW& entry, CKivObList& records) {
    auto record = std::make_unique<CKivClipMediaObj>();
    record->SetBasicInfo(JoinFolderAndName(folder, name), &entry);
    records.AddTail(record.get());
    record.release();
}

// Appends a record per directory entry matching "*." + extension, in the search's order, for each
// extension in turn. The folder is read once for all of them: each entry of one search of "*" goes to
// every extension whose pattern it matches (the test the search itself makes), which gives the records of
// a search per extension in their order. An extension holding a folder separator makes its pattern name
// another folder, and gets a search of its own.
void GatherEntries(const CString& folder, const std::vector<CString>& extensions, CKivObList& records) {
    std::vector<std::wstring> masks;
    std::vector<bool> apart;
    for (const CString& extension : extensions) {
        masks.push_back(L"*." + extension.Text());
        apart.push_back(extension.Text().find_first_of(L"/\\") != std::wstring::npos);
    }
    std::vector<CKivObList> found(extensions.size());
    ForEachEntry(JoinFolderAndName(folder, CString(L"*")), [&](WIN32_FIND_DATAW& entry, const CString& name) {
        for (size_t i = 0; i < masks.size(); ++i)
            if (!apart[i] && MatchesFileMask(entry.cFileName, masks[i]))
                AddRecord(folder, name, entry, found[i]);
    });
    for (size_t i = 0; i < masks.size(); ++i) {
        if (apart[i])
            ForEachEntry(JoinFolderAndName(folder, CString(masks[i])),
                         [&](WIN32_FIND_DATAW& entry, const CString& name) {
                             AddRecord(folder, name, entry, found[i]);
                         });
        records.AddTail(&found[i]);
        found[i].RemoveAll();
    }
}

// Removes a cache that is not trusted. A failure is shown to the user and the listing goes on.
void DeleteCacheFile(const CString& cacheFile) {
    try {
        CFileStatus status;
        if (CFile::GetStatus(cacheFile, status)) {
            status.m_attribute = CFile::normal;
            CFile::SetStatus(cacheFile, status);
        }
        CFile::Remove(cacheFile);
    } catch (const CFileException& error) {
        ReportError(error);
    }
}

// Records by path, so that a file unchanged since a cache was written gets its facts and thumbnail back
// instead of being read again, and a file remembered as no picture is not read again. Looked up by the
// path in one letter case, and then by CompareMedia, which tells "a.bmp" and "A.bmp" apart where the file
// system does.
class RecordsByPath {
  public:
    // Takes over the records of list.
    void Take(CKivObList& list) {
        for (POSITION position = list.GetHeadPosition(); position;) {
            if (auto* record = dynamic_cast<CKivClipMediaObj*>(list.GetNext(position)))
                byPath_.emplace(Key(record->m_strMediaFile), record);
        }
        records_.AddTail(&list);
        list.RemoveAll();
    }

    // A record of the same file state as fresh, given out once (a file listed twice finds it for its
    // first record only); null when there is none. It stays owned here.
    CKivClipMediaObj* Claim(const CKivClipMediaObj& fresh) {
        auto [found, end] = byPath_.equal_range(Key(fresh.m_strMediaFile));
        while (found != end && !found->second->CompareMedia(&fresh)) ++found;
        if (found == end) return nullptr;
        CKivClipMediaObj* record = found->second;
        byPath_.erase(found);
        return record;
    }

  private:
    static std::wstring Key(const CString& path) {
        std::wstring key = path.Text();
        for (wchar_t& c : key) c = FoldCase(c);
        return key;
    }

    CKivObList records_;
    std::unordered_multimap<std::wstring, CKivClipMediaObj*> byPath_;
};

// Fills fresh from a cached record of the same file state. The cached record is dropped after the listing,
// so its title and thumbnail move over uncopied.
void Restore(CKivClipMediaObj& cached, CKivClipMediaObj& fresh) {
    fresh.m_szMedia = cached.m_szMedia;
    fresh.m_wBitCount = cached.m_wBitCount;
    const CSize iconSize = cached.m_Icon.GetSize();
    fresh.m_Icon.SetIcon(cached.m_Icon.Detach(), iconSize);
    // What a fresh read would give: for a picture its name as listed now (the cached path may differ in
    // letter case), for a gray picture the title stored in it.
    CString extension = fresh.GetFileExtName();
    if (extension.MakeUpper() == CString(L".AMY"))
        fresh.m_strShowName = std::move(cached.m_strShowName);
    else
        fresh.m_strShowName = fresh.GetPureFileName().DisplayText();
}

// Loads a cache file; false when there is none or it does not load.
bool LoadCache(const CString& path, CKivClipMediaFileCollection& cache) {
    return !path.IsEmpty() && KivPublicDoesFileExist(path) && cache.LoadFromFile(path);
}

// Writes records (which stay in records) as a cache file of the user's cache folder, unless it already
// holds them byte for byte.
void SaveUserCacheFile(CKivObList& records, const CString& path, bool upright) {
    CKivClipMediaFileCollection cache;
    cache.m_bPicturesUpright = upright;
    cache.m_MediaList.AddTail(&records);
    if (!cache.IsStoredIn(path) && MakeUserCacheFolder(path)) cache.SaveToFile(path);
    cache.m_MediaList.RemoveAll();
}

// A file of the user's cache folder that is no longer needed; nobody is told when it cannot go.
void RemoveUserCacheFile(const CString& path) {
    if (path.IsEmpty() || !CFile::NameExists(path)) return;
    try {
        CFile::Remove(path);
    } catch (const CFileException&) {
    }
}

int SafeMakeExtInfo(CKivClipMediaObj* record) {
    try {
        return record->MakeExtInfo();
    } catch (const CException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// Reads the pictures of the records at the given indexes; results[i] receives record i's result.
void ReadPictures(const std::vector<CKivClipMediaObj*>& records, const std::vector<size_t>& toRead,
                  std::vector<int>& results, const KivMediaProgress& progress, unsigned threads) {
    const int total = static_cast<int>(toRead.size());
    std::mutex progressLock;
    std::atomic<size_t> next{0};
    std::atomic<int> done{0};
    const auto work = [&] {
        for (size_t i = next++; i < toRead.size(); i = next++) {
            const size_t index = toRead[i];
            results[index] = SafeMakeExtInfo(records[index]);
            const int finished = ++done;
            if (progress) {
                const std::lock_guard<std::mutex> hold(progressLock);
                progress(finished, total);
            }
        }
    };
    if (threads == 0)
        threads = std::min(kMaxReadingThreads, std::max(1u, std::thread::hardware_concurrency()));
    threads = static_cast<unsigned>(std::min<size_t>(threads, toRead.size()));
    std::vector<std::jthread> helpers;
    try {
        helpers.reserve(threads);
        for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads than asked for only makes the listing slower.
    }
    work();
}

// Where the listing of one folder keeps its cache, and how its JPEG pictures are read.
struct CachePlace {
    explicit CachePlace(const CString& cacheFile)
        : upright(JpegAutoOrient()),
          folderCache(cacheFile),
          folderWritable(IsCacheFolderWritable(cacheFile)),
          userCache(folderWritable ? CString() : UserCacheFile(cacheFile, L".pmf")),
          notPictures(UserCacheFile(cacheFile, L".notpictures")) {}

    // Where a new cache is written: the folder when it may be written, else the user's cache folder.
    const CString& Store() const { return folderWritable ? folderCache : userCache; }

    // Whether JPEG pictures are made upright by their EXIF orientation: read once, so that the cache
    // written says how the pictures of this listing were read.
    bool upright;
    CString folderCache;
    bool folderWritable;
    CString userCache;    // empty for a folder that may be written
    CString notPictures;  // the files found not to be pictures
};

// The caches a listing may take, in the order it asks them: for a folder that may not be written, the
// user's cache first, then one the folder holds itself.
std::vector<CString> CacheCandidates(const CachePlace& place) {
    std::vector<CString> candidates;
    for (const CString& candidate : {place.userCache, place.folderCache})
        if (!candidate.IsEmpty()) candidates.push_back(candidate);
    return candidates;
}

// The first cache a listing asks, loaded beside the listing of the folder: on a folder its cache still
// describes, reading the folder's entries and loading the cache are nearly all the listing does, and
// neither needs the other. Runs on the calling thread when one reading thread is asked for, the machine
// has one core, or no thread can be started.
class FirstCacheLoad {
  public:
    FirstCacheLoad(const CString& path, unsigned threads) : path_(path) {
        if (path_.IsEmpty() || threads == 1 || (threads == 0 && std::thread::hardware_concurrency() < 2))
            return;
        try {
            loader_ = std::jthread([this] { Load(); });
        } catch (const std::system_error&) {
        }
    }

    // The cache loaded, or null when there is none or it did not load.
    CKivClipMediaFileCollection* Get() {
        if (loader_.joinable())
            loader_.join();
        else if (!done_)
            Load();
        return loaded_ ? &cache_ : nullptr;
    }

  private:
    // Whatever a load throws, also on its own thread, is a cache that did not load.
    void Load() {
        try {
            loaded_ = LoadCache(path_, cache_);
        } catch (const std::exception&) {
            loaded_ = false;
        }
        done_ = true;
    }

    CString path_;
    CKivClipMediaFileCollection cache_;
    bool loaded_ = false;
    bool done_ = false;
    std::jthread loader_;  // last: joined before the members it fills go
};

// Takes the records of the first cache that lists exactly these files in place of them; the records of
// the others are kept for reuse. The first candidate's load is already under way. A cache whose JPEG
// pictures were read with the other orientation choice is neither taken nor reused: its sizes and
// thumbnails may be sideways.
bool TakeTrustedCache(const CachePlace& place, const std::vector<CString>& candidates, FirstCacheLoad& first,
                      CKivObList& records, RecordsByPath& reusable) {
    for (size_t i = 0; i < candidates.size(); ++i) {
        CKivClipMediaFileCollection later;
        CKivClipMediaFileCollection* cache =
            i == 0 ? first.Get() : (LoadCache(candidates[i], later) ? &later : nullptr);
        if (!cache || cache->m_bPicturesUpright != place.upright) continue;
        if (cache->IsSameMediaList(&records)) {
            records.DeleteAll();
            records.AddTail(&cache->m_MediaList);
            cache->m_MediaList.RemoveAll();
            return true;
        }
        reusable.Take(cache->m_MediaList);
    }
    return false;
}

// Completes the records: from reusable cached ones where the file is unchanged, else by reading the
// picture, except for files remembered as no picture. The files that are not pictures leave the list for
// that memory, with their file system facts only, so that it reads the same until they change.
void CompleteRecords(CKivObList& records, RecordsByPath& reusable, const CachePlace& place,
                     const KivMediaProgress& progress, unsigned threads, KivMediaFetchReport& done) {
    const CString& notPicturesFile = place.notPictures;
    RecordsByPath notPictures;
    CKivClipMediaFileCollection remembered;
    if (LoadCache(notPicturesFile, remembered)) notPictures.Take(remembered.m_MediaList);

    std::vector<CKivClipMediaObj*> inOrder;
    std::vector<size_t> toRead;
    std::vector<int> results;
    for (POSITION position = records.GetHeadPosition(); position;) {
        auto* record = static_cast<CKivClipMediaObj*>(records.GetNext(position));
        int result = 1;
        if (CKivClipMediaObj* cached = reusable.Claim(*record))
            Restore(*cached, *record);
        else if (notPictures.Claim(*record))
            result = 0;
        else
            toRead.push_back(inOrder.size());
        inOrder.push_back(record);
        results.push_back(result);
    }
    ReadPictures(inOrder, toRead, results, progress, threads);
    done.picturesRead = static_cast<int>(toRead.size());

    CKivObList dropped;
    size_t index = 0;
    for (POSITION position = records.GetHeadPosition(); position; ++index) {
        const POSITION current = position;
        auto* record = static_cast<CKivClipMediaObj*>(records.GetNext(position));
        if (results[index] != 0) continue;
        records.RemoveAt(current);
        dropped.AddTail(record);
        record->SetBasicInfo(CString(record->m_strMediaFile), nullptr);
        record->m_Icon.Clear();
        ++done.picturesDropped;
    }
    if (dropped.IsEmpty())
        RemoveUserCacheFile(notPicturesFile);
    else if (!notPicturesFile.IsEmpty())
        SaveUserCacheFile(dropped, notPicturesFile, place.upright);
    dropped.DeleteAll();
}

// Writes the rebuilt records as the cache, where the folder's cache is kept. A cache that already holds
// them byte for byte is left as it is. Otherwise one in the folder goes first (also a symbolic link, which
// the new cache would otherwise be written through, to wherever it points). A folder that may not be
// written is never changed, and so never fails to be: its stale cache is no one's to remove.
void StoreCache(CKivObList& records, const CachePlace& place) {
    if (!place.folderWritable) {
        if (records.IsEmpty())
            RemoveUserCacheFile(place.userCache);
        else if (!place.userCache.IsEmpty())
            SaveUserCacheFile(records, place.userCache, place.upright);
        return;
    }
    const CString& cacheFile = place.folderCache;
    CKivClipMediaFileCollection rebuilt;
    rebuilt.m_bPicturesUpright = place.upright;
    rebuilt.m_MediaList.AddTail(&records);
    if (records.IsEmpty() || !rebuilt.IsStoredIn(cacheFile)) {
        if (KivPublicDoesFileExist(cacheFile) ||
            (CFile::NameExists(cacheFile) && !KivPublicDoesDirExist(cacheFile)))
            DeleteCacheFile(cacheFile);
        if (!records.IsEmpty()) rebuilt.SaveToFile(cacheFile);
    }
    rebuilt.m_MediaList.RemoveAll();
}

}  // namespace

CString JoinFolderAndName(const CString& folder, const CString& name) {
    std::wstring path = folder.Text();
    if (path.empty() || !IsSeparator(path.back())) path += L'/';
    return CString(path + name.Text());
}

int FetchValidMediaFile(CKivObList* list, const CString& folder, const CString& cacheFile,
                        const CString& extensions, const KivMediaProgress& progress,
                        KivMediaFetchReport* report, unsigned threads) {
    KivMediaFetchReport done;
    if (report) *report = done;
    if (!list) return 0;
    try {
        list->DeleteAll();
        if (!KivPublicDoesDirExist(folder)) return 0;

        const CachePlace place(cacheFile);
        const std::vector<CString> candidates = CacheCandidates(place);
        FirstCacheLoad first(candidates.empty() ? CString() : candidates.front(), threads);
        CKivObList records;
        GatherEntries(folder, SplitExtensions(extensions), records);

        RecordsByPath reusable;
        done.cacheTrusted = TakeTrustedCache(place, candidates, first, records, reusable);
        if (!done.cacheTrusted) {
            CompleteRecords(records, reusable, place, progress, threads, done);
            StoreCache(records, place);
        }

        list->AddTail(&records);
        records.RemoveAll();
    } catch (const CException&) {
        list->DeleteAll();
        return 0;
    } catch (const std::bad_alloc&) {
        list->DeleteAll();
        return 0;
    }
    if (report) *report = done;
    return 1;
}

int KivPictureFetchValidMediaFile(CKivObList* list, CString folder, CString cacheFile, CString extensions) {
    return FetchValidMediaFile(list, folder, cacheFile, extensions, {}, nullptr, 0);
}

int KivPictureFetchValidMediaFile(CKivObList* list, CString folder, CString cacheFile, CString extensions,
                                  const KivMediaProgress& progress, KivMediaFetchReport* report) {
    return FetchValidMediaFile(list, folder, cacheFile, extensions, progress, report, 0);
}
