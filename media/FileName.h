// A path and the questions asked about it: its name with and without extension, its extension, its
// folder, its type name, and whether it exists.
#pragma once

#include "platform/CString.h"
#include "platform/RuntimeLibrary.h"

using kivrt::_MAX_DRIVE;
using kivrt::_MAX_DIR;
using kivrt::_MAX_FNAME;
using kivrt::_MAX_EXT;

class CKivFileName {
  public:
    explicit CKivFileName(CString path = CString()) : m_strPath(std::move(path)) {}
    virtual ~CKivFileName() = default;

    void SetFileName(CString path) { m_strPath = std::move(path); }
    const CString& GetPath() const { return m_strPath; }

    // Name and extension: "sea.jpg" of "/pics/sea.jpg".
    CString GetPureFileName();
    // The name alone: "sea".
    CString GetFileTitle();
    // The extension with its dot (".jpg"), empty when the name has no dot.
    CString GetFileExtName();
    // Drive and folder, with the trailing separator: "/pics/".
    CString GetFileDir();
    // The type name the shell gives the path ("JPG File").
    CString GetFileTypeName() const;
    // Whether the path names an existing file or folder; a path with wildcards exists when anything
    // matches it. One trailing separator is ignored.
    bool IsFileExist() const;

  private:
    void Split();

    CString m_strPath;
    // The parts of the last split; every accessor that splits overwrites all four.
    wchar_t m_szDrive[_MAX_DRIVE] = {};
    wchar_t m_szDir[_MAX_DIR] = {};
    wchar_t m_szName[_MAX_FNAME] = {};
    wchar_t m_szExt[_MAX_EXT] = {};
};
