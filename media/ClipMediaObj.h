// A media record: one picture file of a folder as the picture dialogs list it. The path, file size and
// last-write time are the file system's facts and decide whether a cached record still describes the
// file; the title, picture size, bit depth and thumbnail are read from the picture and are what a
// folder's cache saves.
#pragma once

#include "KivPictureBase.h"
#include "libraries/KivPublic.h"
#include "platform/CString.h"
#include "platform/DirectorySearch.h"
#include "platform/Geometry.h"

class KIV_API CKivClipMediaObj : public CKivObject {
    DECLARE_SERIAL(CKivClipMediaObj)

  public:
    static constexpr CSize kPictureIconSize{80, 60};
    static constexpr CSize kGrayIconSize{80, 70};

    CKivClipMediaObj() = default;
    CKivClipMediaObj(const CKivClipMediaObj&) = delete;
    ~CKivClipMediaObj() override = default;

    CKivClipMediaObj& operator=(const CKivClipMediaObj& other);
    CKivObject* MakeCopy() const override;

    CString GetFileFullPath() const { return m_strMediaFile; }
    // Name and extension, without folder.
    CString GetPureFileName() const;
    // Name without folder and extension.
    CString GetFileTitle() const;
    // The extension with its dot, as the path spells it.
    CString GetFileExtName() const;

    // 1 when both describe the same file state: the same file (paths that differ only in letter case
    // count as the same where both lead to one file, as on a file system that folds case), file size and
    // last-write time. Title, picture facts and thumbnail take no part.
    int CompareMedia(const CKivClipMediaObj* other) const;
    // Takes the path and the directory entry's file size and time; clears title, size and depth. Returns 1.
    int SetBasicInfo(const CString& path, const WIN32_FIND_DATAW* entry);
    // Reads the picture: title, size, depth and thumbnail. 1 on success; 0 for an extension that is not
    // a picture's, or a picture that does not load.
    int MakeExtInfo();

    // The binary form (the folder cache's records) and the XML form (host documents).
    void Serialize(CArchive& archive) override;
    void SerializeXML(CKivXMLDOMDocObj* document, IXMLDOMNode* parent) override;

    // The stored values. The time is the FILETIME of the directory search.
    CString m_strMediaFile;
    CString m_strShowName;
    CSize m_szMedia;
    WORD m_wBitCount = 0;
    DWORD m_dwFileSizeHigh = 0;
    DWORD m_dwFileSizeLow = 0;
    FILETIME m_ftLastWrite{0, 0};
    CKivIconObj m_Icon;
};
