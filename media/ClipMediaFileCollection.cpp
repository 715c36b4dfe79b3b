// A folder's records as one object, and the cache file that holds them.
#include "media/ClipMediaFileCollection.h"

#include <cstring>
#include <new>
#include <vector>

#include "libraries/KivModuleRC.h"
#include "platform/ReplacementFile.h"
#include "media/ClipMediaObj.h"

namespace {

constexpr WORD kCollectionVersion = 0;       // JPEG pictures as stored
constexpr WORD kUprightPicturesVersion = 1;  // the same layout, JPEG pictures made upright
// A cache holds some 15 KB per picture; the archive moves it in 64 KiB pieces rather than the class
// library's usual 4 KiB, which halves the time spent in reads and writes. The bytes are the same.
constexpr int kCacheArchiveBuffer = 64 * 1024;

// Takes an archive's bytes only to compare them, as they come, with those of a file on disk.
class ComparingFile : public CFile {
  public:
    explicit ComparingFile(CFile& existing) : existing_(existing) {}

    void Write(const void* buffer, UINT count) override {
        if (!same_) return;
        chunk_.resize(count);
        same_ =
            existing_.Read(chunk_.data(), count) == count && std::memcmp(chunk_.data(), buffer, count) == 0;
    }
    // Every byte matched, and the file holds no more.
    bool SameToTheEnd() {
        BYTE more = 0;
        return same_ && existing_.Read(&more, 1) == 0;
    }

  private:
    CFile& existing_;
    std::vector<BYTE> chunk_;
    bool same_ = true;
};

}  // namespace

IMPLEMENT_SERIAL(CKivClipMediaFileCollection, CKivObject, 0)

CKivClipMediaFileCollection& CKivClipMediaFileCollection::operator=(
    const CKivClipMediaFileCollection& other) {
    if (&other == this) return *this;
    CKivObject::operator=(other);
    m_MediaList.Copy(other.m_MediaList);
    m_bPicturesUpright = other.m_bPicturesUpright;
    return *this;
}

CKivObject* CKivClipMediaFileCollection::MakeCopy() const {
    return KivMakeCopyOf(*this);
}

void CKivClipMediaFileCollection::Serialize(CArchive& archive) {
    CKivObject::Serialize(archive);
    if (archive.IsStoring()) {
        archive << Version();
    } else {
        WORD version = 0;
        archive >> version;
        int convertedVersion = 0;
        KivVersionConvert(version, kUprightPicturesVersion, convertedVersion,
                          KivPublicToUnicode(GetRuntimeClass()->m_lpszClassName));
        m_bPicturesUpright = version == kUprightPicturesVersion;
    }
    m_MediaList.Serialize(archive);
}

WORD CKivClipMediaFileCollection::Version() const {
    return m_bPicturesUpright ? kUprightPicturesVersion : kCollectionVersion;
}

void CKivClipMediaFileCollection::SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent) {
    if (!document || !parent) return;
    if (document->IsStoring()) {
        SKivXMLDataType version;
        version.m_nType = SKivXMLDataType::kVersion;
        version.m_value.wValue = kCollectionVersion;  // the cache's flag is no part of a host document
        IXMLDOMNode* element = document->CreateDOMNodeWithAttribute(parent, L"CKivClipMediaFileCollection",
                                                                    L"Version", version, 1);
        if (!element) return;
        IXMLDOMNode* data = document->CreateDOMNode(element, L"DataMember", 1);
        if (!data) return;
        m_MediaList.SerializeXML(document, data);
        IXMLDOMNode* base = document->CreateDOMNode(element, L"BaseObject", 1);
        if (!base) return;
        CKivObject::SerializeXML(document, base);
        return;
    }
    IXMLDOMNode* element = document->GetFirstNameMatchChildNode(parent, L"CKivClipMediaFileCollection");
    if (!element) return;
    if (IXMLDOMNode* data = document->GetFirstNameMatchChildNode(element, L"DataMember")) {
        m_MediaList.SerializeXML(document, data);
    }
    if (IXMLDOMNode* base = document->GetFirstNameMatchChildNode(element, L"BaseObject")) {
        CKivObject::SerializeXML(document, base);
    }
}

int CKivClipMediaFileCollection::LoadFromFile(const CString& path) {
    if (!KivPublicDoesFileExist(path)) return 0;
    try {
        CFile file;
        if (file.Open(path, CFile::modeRead)) {
            CArchive archive(&file, CArchive::load, kCacheArchiveBuffer);
            Serialize(archive);
            archive.Close();
        }
        return 1;
    } catch (const CException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int CKivClipMediaFileCollection::SaveToFile(const CString& path) {
    // Written beside the cache and renamed into place, so a listing never reads half a cache.
    ReplacementFile output;
    if (!output.Create(path, ReplacementFile::InPlace::never)) return 1;
    try {
        CArchive archive(&output.File(), CArchive::store, kCacheArchiveBuffer);
        Serialize(archive);
        archive.Close();
    } catch (const CException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return output.Commit() ? 1 : 0;
}

bool CKivClipMediaFileCollection::IsStoredIn(const CString& path) {
    if (!KivPublicDoesFileExist(path)) return false;
    try {
        CFile existing;
        if (!existing.Open(path, CFile::modeRead)) return false;
        ComparingFile comparing(existing);
        CArchive archive(&comparing, CArchive::store, kCacheArchiveBuffer);
        Serialize(archive);
        archive.Close();
        return comparing.SameToTheEnd();
    } catch (const CException&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int CKivClipMediaFileCollection::IsSameMediaList(const CKivObList* other) const {
    if (!other) return 0;
    const INT_PTR count = m_MediaList.GetCount();
    if (count == 0 || other->GetCount() == 0 || count != other->GetCount()) return 0;
    POSITION mine = m_MediaList.GetHeadPosition();
    POSITION theirs = other->GetHeadPosition();
    while (mine && theirs) {
        const auto* cached = dynamic_cast<const CKivClipMediaObj*>(m_MediaList.GetNext(mine));
        const auto* listed = dynamic_cast<const CKivClipMediaObj*>(other->GetNext(theirs));
        if (!cached || !listed || !cached->CompareMedia(listed)) return 0;
    }
    return 1;
}
