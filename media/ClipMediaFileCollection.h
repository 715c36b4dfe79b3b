// A folder's records as one serialisable object: the root of the per-folder cache file "VudEvovi.pmf".
//
// Cache file: a class-library archive of one collection, written by the collection's own Serialize (no
// class tag before it): the base part, a 16-bit version, then the record list in its archive form (the
// count, then each record as an archive object of class "CKivClipMediaObj").
//
// The version says how the records' JPEG pictures were read: 0 as stored, 1 upright by their EXIF
// orientation (KivPictureSetAutoOrient). The layout is the same for both, so code that knows only
// version 0 still reads either; the gathering trusts only a cache read the way pictures are read now.
#pragma once

#include "libraries/KivPublic.h"
#include "platform/CString.h"

class CKivClipMediaFileCollection : public CKivObject {
    DECLARE_SERIAL(CKivClipMediaFileCollection)

  public:
    static constexpr const wchar_t* kCacheFileName = L"VudEvovi.pmf";

    CKivClipMediaFileCollection() = default;
    CKivClipMediaFileCollection(const CKivClipMediaFileCollection&) = delete;
    ~CKivClipMediaFileCollection() override = default;

    // A deep copy of other's records.
    virtual CKivClipMediaFileCollection& operator=(const CKivClipMediaFileCollection& other);
    CKivObject* MakeCopy() const override;

    void Serialize(CArchive& archive) override;
    void SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent) override;

    // 0 when the file does not exist or is not a complete cache; 1 otherwise (an unopenable file gives 1
    // and no records).
    int LoadFromFile(const CString& path);
    // Writes the cache through a temporary file renamed into place. 0 when writing failed after the file
    // was opened; 1 otherwise, also when the file could not be created.
    int SaveToFile(const CString& path);
    // Whether the file holds exactly the bytes SaveToFile would write now (compared as they are made, so
    // no second copy of the cache is held).
    bool IsStoredIn(const CString& path);
    // 1 when both lists are non-empty and hold records of the same files (CompareMedia) in the same order.
    int IsSameMediaList(const CKivObList* other) const;
    // The version Serialize writes: what m_bPicturesUpright says.
    WORD Version() const;

    CKivObList m_MediaList;
    // The records' sizes and thumbnails are of JPEG pictures made upright (version 1).
    bool m_bPicturesUpright = false;
};
