// Lists one folder's pictures as media records, through the folder's cache file when it still describes
// the folder.
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/DirectorySearch.h"
#include "platform/File.h"
#include "platform/FileStatus.h"
#include "platform/MessageBox.h"
#include "platform/RuntimeLibrary.h"
#include "media/ClipMediaFileCollection.h"
#include "media/ClipMediaObj.h"
#include "media/MediaGathering.h"

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

// Appends a record per directory entry matching "*." + extension, in the search's order.
void GatherEntries(const CString& folder, const CString& extension, CKivObList& records) {
    WIN32_FIND_DATAW entry{};
    const CString pattern = JoinFolderAndName(folder, CString(L"*.") + extension);
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
        if (name.IsEmpty()) continue;
        auto record = std::make_unique<CKivClipMediaObj>();
        record->SetBasicInfo(JoinFolderAndName(folder, name), &entry);
        records.AddTail(record.get());
        record.release();
    } while (FindNextFileW(search, &entry));
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

// The records of an untrusted cache by path, so that a file unchanged since the cache was written gets its
// facts and thumbnail back instead of being read again. Looked up by the path in one letter case, and then
// by CompareMedia, which tells "a.bmp" and "A.bmp" apart where the file system does.
class ReusableRecords {
  public:
    void Take(CKivObList& cached) {
        records_.AddTail(&cached);
        cached.RemoveAll();
        for (POSITION position = records_.GetHeadPosition(); position;) {
            auto* record = dynamic_cast<CKivClipMediaObj*>(records_.GetNext(position));
            if (record) byPath_.emplace(Key(record->m_strMediaFile), record);
        }
    }

    // Fills fresh from a cached record of the same file state; false when there is none.
    bool Restore(CKivClipMediaObj& fresh) {
        auto [found, end] = byPath_.equal_range(Key(fresh.m_strMediaFile));
        while (found != end && !found->second->CompareMedia(&fresh)) ++found;
        if (found == end) return false;
        // The cached record is dropped after the listing, so its title and thumbnail move over uncopied; a
        // file listed twice takes them once and is read for its second record.
        CKivClipMediaObj& cached = *found->second;
        byPath_.erase(found);
        fresh.m_szMedia = cached.m_szMedia;
        fresh.m_wBitCount = cached.m_wBitCount;
        const CSize iconSize = cached.m_Icon.GetSize();
        fresh.m_Icon.SetIcon(cached.m_Icon.Detach(), iconSize);
        // What a fresh read would give: for a picture its name as listed now (the cached path may differ
        // in letter case), for a gray picture the title stored in it.
        CString extension = fresh.GetFileExtName();
        if (extension.MakeUpper() == CString(L".AMY"))
            fresh.m_strShowName = std::move(cached.m_strShowName);
        else
            fresh.m_strShowName = fresh.GetPureFileName();
        return true;
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

        CKivObList records;
        for (const CString& extension : SplitExtensions(extensions))
            GatherEntries(folder, extension, records);

        ReusableRecords reusable;
        if (KivPublicDoesFileExist(cacheFile)) {
            CKivClipMediaFileCollection cache;
            const int loaded = cache.LoadFromFile(cacheFile);
            if (loaded && cache.IsSameMediaList(&records)) {
                records.DeleteAll();
                records.AddTail(&cache.m_MediaList);
                cache.m_MediaList.RemoveAll();
                done.cacheTrusted = true;
            } else if (loaded) {
                reusable.Take(cache.m_MediaList);
            }
        }
        // A cache that is there but not trusted goes; so does a symbolic link that leads nowhere, which
        // the new cache would otherwise be written through, to wherever it points.
        const bool cachePresent = KivPublicDoesFileExist(cacheFile) ||
                                  (CFile::NameExists(cacheFile) && !KivPublicDoesDirExist(cacheFile));
        if (!done.cacheTrusted && cachePresent) DeleteCacheFile(cacheFile);

        if (!done.cacheTrusted) {
            std::vector<CKivClipMediaObj*> inOrder;
            std::vector<size_t> toRead;
            for (POSITION position = records.GetHeadPosition(); position;) {
                auto* record = static_cast<CKivClipMediaObj*>(records.GetNext(position));
                if (!reusable.Restore(*record)) toRead.push_back(inOrder.size());
                inOrder.push_back(record);
            }
            std::vector<int> results(inOrder.size(), 1);
            ReadPictures(inOrder, toRead, results, progress, threads);
            done.picturesRead = static_cast<int>(toRead.size());

            size_t index = 0;
            for (POSITION position = records.GetHeadPosition(); position; ++index) {
                const POSITION current = position;
                records.GetNext(position);
                if (results[index] == 0) {
                    records.DeleteAt(current);
                    ++done.picturesDropped;
                }
            }
            if (!records.IsEmpty()) {
                CKivClipMediaFileCollection cache;
                cache.m_MediaList.AddTail(&records);
                cache.SaveToFile(cacheFile);
                cache.m_MediaList.RemoveAll();
            }
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
