// The media record: its facts from the directory entry and from the picture, and its thumbnail.
#include "media/ClipMediaObj.h"

#include <new>
#include <vector>

#include "platform/File.h"
#include "platform/GlobalMemory.h"
#include "media/FileName.h"
#include "media/MediaGathering.h"
#include "readers/PictureFormats.h"

IMPLEMENT_SERIAL(CKivClipMediaObj, CKivObject, 0)

namespace {

// Paths that differ only in letter case name one file where the file system folds case (FAT and exFAT
// media, most network shares, case-folding ext4 folders), and two files, or a file and nothing, where it
// does not: a record for "a.bmp" must not stand for "A.bmp" after a rename on Linux. Rather than guess
// from the kind of mount, the file system is asked whether both names lead to the same file; that is
// right for every mount and folder, costs two status reads, and is asked only when the paths differ by
// case alone, which is rare.
bool SamePath(const CString& a, const CString& b) {
    if (a == b) return true;
    return a.CompareNoCase(b) == 0 && CFile::IsSameFile(a, b);
}

}  // namespace

CKivClipMediaObj& CKivClipMediaObj::operator=(const CKivClipMediaObj& other) {
    if (&other == this) return *this;
    CKivObject::operator=(other);
    m_strMediaFile = other.m_strMediaFile;
    m_strShowName = other.m_strShowName;
    m_szMedia = other.m_szMedia;
    m_wBitCount = other.m_wBitCount;
    m_dwFileSizeHigh = other.m_dwFileSizeHigh;
    m_dwFileSizeLow = other.m_dwFileSizeLow;
    m_ftLastWrite = other.m_ftLastWrite;
    m_Icon = other.m_Icon;
    return *this;
}

CKivObject* CKivClipMediaObj::MakeCopy() const {
    return KivMakeCopyOf(*this);
}

CString CKivClipMediaObj::GetPureFileName() const {
    return CKivFileName(m_strMediaFile).GetPureFileName();
}

CString CKivClipMediaObj::GetFileTitle() const {
    return CKivFileName(m_strMediaFile).GetFileTitle();
}

CString CKivClipMediaObj::GetFileExtName() const {
    return CKivFileName(m_strMediaFile).GetFileExtName();
}

int CKivClipMediaObj::CompareMedia(const CKivClipMediaObj* other) const {
    if (!other) return 0;
    if (!SamePath(m_strMediaFile, other->m_strMediaFile)) return 0;
    if (m_dwFileSizeHigh != other->m_dwFileSizeHigh) return 0;
    if (m_dwFileSizeLow != other->m_dwFileSizeLow) return 0;
    if (m_ftLastWrite.dwHighDateTime != other->m_ftLastWrite.dwHighDateTime) return 0;
    if (m_ftLastWrite.dwLowDateTime != other->m_ftLastWrite.dwLowDateTime) return 0;
    return 1;
}

int CKivClipMediaObj::SetBasicInfo(const CString& path, const WIN32_FIND_DATAW* entry) {
    m_strMediaFile = path;
    if (entry) {
        m_dwFileSizeHigh = entry->nFileSizeHigh;
        m_dwFileSizeLow = entry->nFileSizeLow;
        m_ftLastWrite = entry->ftLastWriteTime;
    }
    m_strShowName.Empty();
    m_szMedia = CSize();
    m_wBitCount = 0;
    return 1;
}

int CKivClipMediaObj::MakeExtInfo() {
    const PictureFormat* format = FindPictureFormat(m_strMediaFile);
    if (format && format->decode) {
        m_strShowName = GetPureFileName().DisplayText();  // the path keeps the bytes that are no UTF-8
        // The probe's result is not needed: a picture it cannot describe keeps size (0, 0) and depth 0 and
        // still gets its thumbnail when it loads.
        PictureHeader probed;
        const bool described = ProbePicture(m_strMediaFile, probed);
        const CRect probedRect = described ? CRect(probed.rect) : CRect();
        m_szMedia = CSize(probedRect.Width(), probedRect.Height());
        m_wBitCount = static_cast<WORD>(described ? probed.bits : 0);

        // A large JPEG picture comes reduced, still at least the thumbnail's size.
        const DecodedPicture picture = LoadPictureForThumbnail(m_strMediaFile, kPictureIconSize);
        const CRect& loaded = picture.rect;
        if (!picture.ok() || loaded.IsRectEmpty()) return 0;
        BYTE* icon =
            KivPublicMakeIcon(reinterpret_cast<const tagCOLOR32*>(picture.pixels.get()), loaded.Size(),
                              CRect(0, 0, loaded.Width(), loaded.Height()), kPictureIconSize, 24);
        m_Icon.SetIcon(icon, kPictureIconSize);
        return 1;
    }

    CString extension = GetFileExtName();
    extension.MakeUpper();
    if (extension == CString(L".AMY")) {
        CString title;
        int width = 0;
        int height = 0;
        m_strShowName = title;
        if (!CKivGrayFile::GetGryFileInfo(m_strMediaFile, title, width, height)) return 1;
        m_strShowName = title;
        CRect grayRect;
        BYTE* gray = CKivGrayFile::Load(m_strMediaFile, &grayRect);
        // A gray picture whose header reads but whose pixels do not stays listed with its title, as one
        // whose header does not read stays listed without one.
        if (!gray) return 1;
        BYTE* icon = MakeGrayIcon(gray, grayRect.Size(), CRect(0, 0, grayRect.Width(), grayRect.Height()),
                                  kGrayIconSize);
        GlobalFree(gray);
        m_Icon.SetIcon(icon, kGrayIconSize);
        return 1;
    }

    return 0;
}

BYTE* MakeGrayIcon(const BYTE* gray, CSize srcSize, CRect srcRect, CSize dstSize) {
    if (!gray || srcSize.cx <= 0 || srcSize.cy <= 0 || dstSize.cx <= 0 || dstSize.cy <= 0) return nullptr;
    // Only rows and columns inside the source are ever sampled.
    if (srcRect.left < 0 || srcRect.top < 0 || srcRect.right > srcSize.cx || srcRect.bottom > srcSize.cy ||
        srcRect.IsRectEmpty()) {
        return nullptr;
    }
    auto* icon = static_cast<BYTE*>(
        GlobalAlloc(GMEM_ZEROINIT, static_cast<size_t>(dstSize.cx) * static_cast<size_t>(dstSize.cy) * 3));
    if (!icon) return nullptr;
    try {
        std::vector<int> columns(static_cast<size_t>(dstSize.cx));
        std::vector<int> rows(static_cast<size_t>(dstSize.cy));
        KivPublicInsLine(srcRect.left, srcRect.right - 1, dstSize.cx, columns.data());
        KivPublicInsLine(srcRect.top, srcRect.bottom - 1, dstSize.cy, rows.data());
        BYTE* out = icon;
        for (int row : rows) {
            const BYTE* source = gray + static_cast<size_t>(row) * static_cast<size_t>(srcSize.cx);
            for (int column : columns) {
                const BYTE level = source[column];
                out[0] = out[1] = out[2] = level;
                out += 3;
            }
        }
    } catch (const std::bad_alloc&) {
        GlobalFree(icon);
        return nullptr;
    }
    return icon;
}
