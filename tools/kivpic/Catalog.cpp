// kivpic catalog: a folder's pictures as the picture dialogs list them, through the folder's cache.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "libraries/KivModuleRC.h"
#include "media/ClipMediaFileCollection.h"

namespace {

// A contact sheet shows at most this many thumbnails (about 55 MB of pixels), whatever the folder holds.
constexpr int kMaxSheetThumbnails = 2000;
constexpr int kCellMargin = 4;
constexpr CSize kCell{80 + 2 * kCellMargin, 70 + 2 * kCellMargin};
constexpr DWORD kSheetBackground = 0xFF303030;

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr unsigned long long kUnixEpochInFileTime = 116444736000000000ull;

std::string FormatTime(const FILETIME& time, bool iso) {
    const unsigned long long ticks =
        (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const std::time_t seconds = ticks < kUnixEpochInFileTime
                                    ? 0
                                    : static_cast<std::time_t>((ticks - kUnixEpochInFileTime) / 10'000'000);
    std::tm parts{};
    if (iso)
        gmtime_r(&seconds, &parts);
    else
        localtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, iso ? "%Y-%m-%dT%H:%M:%SZ" : "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

unsigned long long FileSize(const CKivClipMediaObj& record) {
    return (static_cast<unsigned long long>(record.m_dwFileSizeHigh) << 32) | record.m_dwFileSizeLow;
}

std::vector<const CKivClipMediaObj*> Records(const CKivObList& list) {
    std::vector<const CKivClipMediaObj*> records;
    for (POSITION position = list.GetHeadPosition(); position;) {
        if (const auto* record = dynamic_cast<const CKivClipMediaObj*>(list.GetNext(position)))
            records.push_back(record);
    }
    return records;
}

// A bar on standard error while pictures are read, when standard error is a terminal.
class ProgressBar {
  public:
    ProgressBar() : shown_(::isatty(STDERR_FILENO) != 0) {}
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    ~ProgressBar() { Finish(); }

    void Update(int done, int total) {
        if (!shown_ || total <= 0) return;
        // Redrawn once per percent, not once per picture.
        const int percent = static_cast<int>(100LL * done / total);
        if (drawn_ && percent == percent_ && done != total) return;
        percent_ = percent;
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(static_cast<long long>(kWidth) * done / total);
        std::fprintf(stderr, "\r[%s%s] %d/%d pictures read", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, ' ').c_str(), done, total);
        std::fflush(stderr);
        drawn_ = true;
    }

    void Finish() {
        if (drawn_) std::fprintf(stderr, "\r\033[K");
        drawn_ = false;
    }

  private:
    bool shown_;
    bool drawn_ = false;
    int percent_ = -1;
};

void PrintRecord(const CKivClipMediaObj& record, bool json) {
    if (json) {
        std::printf(
            "{%s,\"title\":%s,\"width\":%d,\"height\":%d,\"bits\":%u,\"bytes\":%llu,\"modified\":\"%"
            "s\","
            "\"thumbnail\":[%d,%d]}\n",
            JsonFileMembers(record.m_strMediaFile).c_str(), JsonString(record.m_strShowName.ToUtf8()).c_str(),
            record.m_szMedia.cx, record.m_szMedia.cy, unsigned{record.m_wBitCount}, FileSize(record),
            FormatTime(record.m_ftLastWrite, true).c_str(), record.m_Icon.GetSize().cx,
            record.m_Icon.GetSize().cy);
        return;
    }
    std::printf("%-32s %6dx%-6d %2u bits %12llu bytes  %s\n", PlainName(record.m_strShowName).c_str(),
                record.m_szMedia.cx, record.m_szMedia.cy, unsigned{record.m_wBitCount}, FileSize(record),
                FormatTime(record.m_ftLastWrite, false).c_str());
}

int WriteXml(const CKivObList& list, const std::string& file) {
    CKivXMLDOMDocObj document(L"KivCatalog");
    CKivClipMediaFileCollection collection;
    collection.m_MediaList.AddTail(&list);  // lent for the call: the list keeps its records
    collection.SerializeXML(&document, document.GetRootNode());
    collection.m_MediaList.RemoveAll();
    if (!document.SaveToFile(CString::FromFileSystem(file))) return Fail(file, "cannot write the XML file");
    return 0;
}

// The thumbnails in a grid of cells, about as many columns as rows, on a dark background.
int WriteSheet(const std::vector<const CKivClipMediaObj*>& records, const std::string& file) {
    if (records.empty()) return Fail(file, "no pictures to put on a contact sheet");
    const int count = std::min(static_cast<int>(records.size()), kMaxSheetThumbnails);
    if (count < static_cast<int>(records.size()))
        std::fprintf(stderr, "kivpic: %s: the contact sheet shows the first %d of %zu pictures\n",
                     file.c_str(), count, records.size());
    const int columns = static_cast<int>(std::ceil(std::sqrt(count)));
    const int rows = (count + columns - 1) / columns;
    const CSize size(columns * kCell.cx, rows * kCell.cy);
    std::vector<DWORD> sheet(static_cast<size_t>(size.cx) * size.cy, kSheetBackground);
    for (int i = 0; i < count; ++i) {
        const CKivIconObj& icon = records[i]->m_Icon;
        if (icon.IsEmpty()) continue;
        const CSize iconSize = icon.GetSize();
        const int left = (i % columns) * kCell.cx + (kCell.cx - std::min(iconSize.cx, kCell.cx)) / 2;
        const int top = (i / columns) * kCell.cy + (kCell.cy - std::min(iconSize.cy, kCell.cy)) / 2;
        for (int y = 0; y < std::min(iconSize.cy, kCell.cy); ++y) {
            const BYTE* from = icon.GetBits() + static_cast<size_t>(y) * iconSize.cx * 3;
            DWORD* to = &sheet[static_cast<size_t>(top + y) * size.cx + left];
            for (int x = 0; x < std::min(iconSize.cx, kCell.cx); ++x, from += 3) to[x] = PackBgrBytes(from);
        }
    }
    const CString path = CString::FromFileSystem(file);
    const PictureFormat& writer = ChooseWriter(path);
    if (!writer.write(path, sheet.data(), size, CRect(0, 0, size.cx, size.cy)))
        return Fail(file, std::string("cannot write the ") + writer.name + " file");
    return 0;
}

// The extension list without blanks: the library would search "*. tga" for "bmp, tga", which is never what a
// person at a terminal means.
std::string WithoutBlanks(const std::string& types) {
    std::string out;
    for (const char c : types)
        if (!std::isspace(static_cast<unsigned char>(c))) out += c;
    return out;
}

}  // namespace

int RunCatalog(const CatalogOptions& options) {
    const CString folder = CString::FromFileSystem(options.folder);
    std::string cacheFile = options.folder;
    if (cacheFile.empty() || cacheFile.back() != '/') cacheFile += '/';
    cacheFile += CString(CKivClipMediaFileCollection::kCacheFileName).ToFileSystem();

    CKivObList list;
    KivMediaFetchReport report;
    ProgressBar bar;
    const auto start = std::chrono::steady_clock::now();
    const int found = KivPictureFetchValidMediaFile(
        &list, folder, CString::FromFileSystem(cacheFile),
        CString::FromFileSystem(WithoutBlanks(options.types)),
        [&](int done, int total) { bar.Update(done, total); }, &report);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bar.Finish();
    if (!found) return Fail(options.folder, "no such folder");

    const std::vector<const CKivClipMediaObj*> records = Records(list);
    for (const CKivClipMediaObj* record : records) PrintRecord(*record, options.json);
    std::fflush(stdout);

    if (report.cacheTrusted)
        std::fprintf(stderr, "%zu pictures; cache trusted, no picture read (%.3f s)\n", records.size(),
                     seconds);
    else
        std::fprintf(stderr, "%zu pictures; cache rebuilt: %d read, %d not pictures (%.3f s)\n",
                     records.size(), report.picturesRead, report.picturesDropped, seconds);

    int status = 0;
    if (!options.xml.empty()) status |= WriteXml(list, options.xml);
    if (!options.sheet.empty()) status |= WriteSheet(records, options.sheet);
    return status;
}
